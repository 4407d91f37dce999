#pragma once
// printf-style message templates ("List index out of bounds (%d)") formatted type-safely.
#include <fmt/format.h>
#include <fmt/printf.h>

#include <string>
#include <string_view>

namespace kestova {

template <typename... Args>
std::string Format(const char* templ, const Args&... args) {
  return fmt::sprintf(templ, args...);
}

// `text` as a template that stands for itself: its % signs doubled.
inline std::string EscapePercent(std::string_view text) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace kestova
