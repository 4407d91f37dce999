#include "xml/code_pages.h"

#include <iconv.h>

#include <array>
#include <map>
#include <string>

#include "platform/ascii_text.h"

namespace kestova {
namespace {

using TUpperHalf = std::array<char16_t, 128>;

// glibc's name for each single-byte page of the table.
const char* IconvName(int codePage) noexcept {
  switch (codePage) {
    case 1250: return "WINDOWS-1250";
    case 1251: return "WINDOWS-1251";
    case 1252: return "WINDOWS-1252";
    case 1253: return "WINDOWS-1253";
    case 1254: return "WINDOWS-1254";
    case 1255: return "WINDOWS-1255";
    case 1256: return "WINDOWS-1256";
    case 1257: return "WINDOWS-1257";
    case 1258: return "WINDOWS-1258";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    default: return nullptr;
  }
}

TUpperHalf BuildUpperHalf(const char* iconvName) {
  TUpperHalf half;
  half.fill(u'\uFFFD');
  iconv_t cd = iconv_open("UTF-16LE", iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return half;
  for (int b = 0x80; b < 0x100; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[4] = {};
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1, outLeft = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1) && outLeft == 2)
      half[static_cast<std::size_t>(b - 0x80)] = static_cast<char16_t>(out[0] | (out[1] << 8));
  }
  iconv_close(cd);
  return half;
}

// Built together on first use (thread-safe static initialisation), read-only afterwards.
const std::map<int, TUpperHalf>& UpperHalves() {
  static const std::map<int, TUpperHalf> halves = [] {
    std::map<int, TUpperHalf> built;
    for (const TCodePage& page : CodePages)
      if (const char* name = IconvName(page.CodePage)) built.emplace(page.CodePage, BuildUpperHalf(name));
    return built;
  }();
  return halves;
}

}  // namespace

int FindCodePage(std::string_view name) noexcept {
  for (const TCodePage& page : CodePages)
    if (SameText(name, page.Name)) return page.CodePage;
  return 0;
}

char16_t DecodeCodePageByte(int codePage, uint8_t byte) noexcept {
  if (byte < 0x80) return byte;
  const auto& halves = UpperHalves();
  const auto it = halves.find(codePage);
  return it == halves.end() ? u'\uFFFD' : it->second[byte - 0x80u];
}

}  // namespace kestova
