#pragma once
// Code page 852 (DOS Latin-2), the pole display's character set, back to Unicode.
//
// The server writes Windows-1250 text whose Central European letters čšžćđČŠŽĆĐ were moved to
// their code page 852 positions and leaves every other byte as it was; the display shows each
// byte as code page 852. Decoding every byte as code page 852 therefore shows what the real
// display shows: those letters come back, other Windows-1250 bytes appear as the code page 852
// characters at the same positions (as on the hardware).
#include <string>
#include <string_view>

namespace kestova {

// The character of one byte; bytes below 0x80 are ASCII (control characters included).
char32_t Cp852ToUnicode(unsigned char byte) noexcept;

// UTF-8 text of a code page 852 byte string, one character per byte.
std::string Cp852ToUtf8(std::string_view bytes);

}  // namespace kestova
