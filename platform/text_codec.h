#pragma once
// Text conversions. Program text is UTF-8 in std::string; display lines are 8-bit byte strings
// (Windows-1250, later code page 852) and carry the ByteString alias so signatures say which is which.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestova {

using ByteString = std::string;

inline constexpr const char* kNoMappingMessage =
    "No mapping for the Unicode character exists in the target multi-byte code page";

// Strict UTF-8 check: overlong forms, surrogates, code points above U+10FFFF, stray or missing
// continuation bytes all fail. DecodeUtf8 raises EEncodingError with kNoMappingMessage.
bool IsValidUtf8(std::string_view bytes) noexcept;
std::string DecodeUtf8(std::string_view bytes);

// Unicode text to Windows-1250, exactly one byte per character: the character itself, a similar
// character where the code page has one, "?" otherwise. The input must be valid UTF-8
// (EEncodingError otherwise).
ByteString UnicodeToWindows1250(std::string_view utf8);

// UTF-16 code units, for code that must follow rules written for them.
std::u16string Utf8ToUtf16(std::string_view utf8);
// A lone surrogate cannot be written in UTF-8; it becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
void AppendUtf8(std::string& out, char32_t codePoint);
// The code point of the UTF-8 sequence at `pos`, advancing `pos` past it, for readers that walk
// text one character at a time. A malformed sequence raises EEncodingError.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);

// Character (code point) counts and cuts of valid UTF-8 text.
std::size_t Utf8Length(std::string_view utf8) noexcept;
std::string Utf8Left(std::string_view utf8, std::size_t characters);

}  // namespace kestova
