#include "platform/ascii_text.h"

namespace kestova {

std::string AsciiLowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimBlanks(std::string_view text) noexcept {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return text;
}

bool IsBlank(std::string_view text) noexcept { return TrimBlanks(text).empty(); }

}  // namespace kestova
