#include "tests/support/hex.h"

#include <optional>
#include <utility>

#include "platform/hex_bytes.h"
#include "tests/support/support_error.h"

namespace kestova::test {

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
  if (std::optional<std::string> bytes = BytesFromHex(hex)) return *std::move(bytes);
  throw ETestSupportError(Format("Not hexadecimal bytes: \"%s\"", std::string(hex)));
}

}  // namespace kestova::test
