#include "tests/support/hex.h"

#include "tests/support/support_error.h"

namespace kestova::test {

namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToHex(std::string_view bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!text.empty()) text += ' ';
    text += Digits[byte >> 4];
    text += Digits[byte & 0x0f];
  }
  return text;
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  int high = -1;
  for (const char c : hex) {
    if (c == ' ' && high < 0) continue;
    const int digit = Digit(c);
    if (digit < 0) throw ETestSupportError(Format("Not hexadecimal text: \"%s\"", std::string(hex)));
    if (high < 0) {
      high = digit;
    } else {
      bytes += static_cast<char>(high << 4 | digit);
      high = -1;
    }
  }
  if (high >= 0) throw ETestSupportError(Format("Odd number of hexadecimal digits: \"%s\"", std::string(hex)));
  return bytes;
}

}  // namespace kestova::test
