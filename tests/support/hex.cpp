#include "tests/support/hex.h"

#include <optional>
#include <utility>

#include "platform/hex_bytes.h"
#include "tests/support/support_error.h"

namespace kestova::test {

std::string ToHex(std::string_view bytes) {
  return ToHex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string ToHex(std::span<const std::uint8_t> bytes) { return HexFromBytes(bytes); }

std::string FromHex(std::string_view hex) {
  if (std::optional<std::string> bytes = BytesFromHex(hex)) return *std::move(bytes);
  throw ETestSupportError(Format("Not hexadecimal bytes: \"%s\"", std::string(hex)));
}

std::vector<std::uint8_t> HexBytes(std::string_view hex) { return ByteVector(FromHex(hex)); }

std::vector<std::uint8_t> ByteVector(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace kestova::test
