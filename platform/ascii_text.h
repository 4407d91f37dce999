#pragma once
// ASCII text rules that never depend on the locale (the desktop program runs in the user's):
// letter case, blanks, hexadecimal digits. Names, keys, settings values and command words are
// compared and trimmed through these, so "the same name" and "blank" mean one thing everywhere.
// Formats with rules of their own keep them: INI lines (ini_syntax.h: spaces and tabs), XML
// white space (xml/char_class.h), delimited text (string_list.h).
//
// Thread safety: pure functions.
#include <string>
#include <string_view>

namespace kestova {

// Only 'a'..'z' and 'A'..'Z' change; every other byte, UTF-8 included, stays as it is.
constexpr char AsciiUpper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string AsciiLowerCase(std::string_view text);

// Equal ignoring ASCII letter case, as name and key look-ups compare.
bool SameText(std::string_view a, std::string_view b) noexcept;
// `text` begins with `prefix`, ignoring ASCII letter case.
bool StartsWithText(std::string_view text, std::string_view prefix) noexcept;

// A space or a control character (codes 0 to 32): what is ignored around a value.
constexpr bool IsBlankChar(char c) noexcept { return static_cast<unsigned char>(c) <= ' '; }
// `text` without its leading and trailing blank characters.
std::string_view TrimBlanks(std::string_view text) noexcept;
// Empty, or nothing but blank characters.
bool IsBlank(std::string_view text) noexcept;

// The value of a hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char32_t c) noexcept {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

}  // namespace kestova
