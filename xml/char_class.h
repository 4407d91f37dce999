#pragma once
// Character classes of the parser, one flag byte per UTF-16 code unit, so every test is one
// table access. Surrogates, U+FFFE and U+FFFF belong to no class.
#include <array>
#include <cstdint>

namespace kestova {

enum TCharClassFlag : uint8_t {
  ccBaseChar = 0x01,
  ccCombiningChar = 0x02,
  ccDigit = 0x04,
  ccIdeographic = 0x08,
  ccLetter = 0x10,  // BaseChar or Ideographic
  ccExtender = 0x20,
  ccChar = 0x40,
  ccNameChar = 0x80,  // Letter, Digit, ".", "-", "_", ":", CombiningChar or Extender
};

using TCharClassTable = std::array<uint8_t, 65536>;
extern const TCharClassTable kCharClasses;

// `c` is a code unit or a negative end-of-input marker, which belongs to no class.
inline bool HasCharClass(int32_t c, uint8_t flag) noexcept {
  return c >= 0 && c <= 0xFFFF && (kCharClasses[static_cast<std::size_t>(c)] & flag) != 0;
}
inline bool IsXMLLetter(int32_t c) noexcept { return HasCharClass(c, ccLetter); }
inline bool IsXMLNameChar(int32_t c) noexcept { return HasCharClass(c, ccNameChar); }
inline bool IsXMLChar(int32_t c) noexcept { return HasCharClass(c, ccChar); }
inline bool IsXMLWhitespace(int32_t c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace kestova
