#pragma once
// Bytes written and read as hexadecimal text, for scripting exact wire bytes and for readable
// expectations and failure messages: the one hex helper of the tests (the parsing itself is the
// product's, platform/hex_bytes.h).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestova::test {

// "10 0C 00 04": two upper-case digits per byte, separated by spaces.
std::string ToHex(std::string_view bytes);
std::string ToHex(std::span<const std::uint8_t> bytes);
// The bytes of hexadecimal text, either letter case, blanks between the pairs allowed
// ("100c 00 04"). Raises ETestSupportError on anything else.
std::string FromHex(std::string_view hex);
// The same as a byte vector (the MQTT library's TMqttBytes).
std::vector<std::uint8_t> HexBytes(std::string_view hex);
// The bytes of plain text as a byte vector.
std::vector<std::uint8_t> ByteVector(std::string_view text);

}  // namespace kestova::test
