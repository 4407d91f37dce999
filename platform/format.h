#pragma once
// printf-style message templates ("List index out of bounds (%d)") formatted type-safely.
#include <fmt/format.h>
#include <fmt/printf.h>

#include <string>

namespace kestova {

template <typename... Args>
std::string Format(const char* templ, const Args&... args) {
  return fmt::sprintf(templ, args...);
}

}  // namespace kestova
