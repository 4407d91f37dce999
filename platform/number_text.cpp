#include "platform/number_text.h"

#include <cerrno>
#include <cstdlib>

namespace kestova {

bool ParseNumber(const std::string& text, long long low, long long high, long long& value) noexcept {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace kestova
