#pragma once
// The encodings an xml declaration may switch the input to, by name (case-insensitive).
#include <cstdint>
#include <string_view>

namespace kestova {

struct TCodePage {
  const char* Name;
  int CodePage;
};

inline constexpr int kCodePageUtf16 = 1200;

inline constexpr TCodePage CodePages[23] = {
    {"shift-jis", 932},     {"utf-16", 1200},       {"windows-1250", 1250}, {"windows-1251", 1251},
    {"windows-1252", 1252}, {"windows-1253", 1253}, {"windows-1254", 1254}, {"windows-1255", 1255},
    {"windows-1256", 1256}, {"windows-1257", 1257}, {"windows-1258", 1258}, {"iso-8859-1", 28591},
    {"iso-8859-2", 28592},  {"iso-8859-3", 28593},  {"iso-8859-4", 28594},  {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},  {"iso-8859-7", 28597},  {"iso-8859-8", 28598},  {"iso-8859-9", 28599},
    {"iso-2022-jp", 50220}, {"euc-jp", 51932},      {"utf-8", 65001},
};

// The code page of a name in the table, or 0.
int FindCodePage(std::string_view name) noexcept;

// One byte read in a byte-wise code page: ASCII as itself; a higher byte through the code
// page's own table when it is a single-byte page, else (and where the page has no character
// for it) U+FFFD.
char16_t DecodeCodePageByte(int codePage, uint8_t byte) noexcept;

}  // namespace kestova
