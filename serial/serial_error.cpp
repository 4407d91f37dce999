#include "serial/serial_error.h"

#include <cstring>

namespace kestova {

std::string SerialSysErrorText(int code) {
  char buf[256];
  // The GNU strerror_r returns a pointer that may or may not be buf.
  std::string text = strerror_r(code, buf, sizeof buf);
  while (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.') break;
    text.pop_back();
  }
  return text;
}

std::string EscapePercent(const std::string& text) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace kestova
