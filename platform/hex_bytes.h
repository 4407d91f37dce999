#pragma once
// Bytes written as hexadecimal text, the way integrators copy commands out of a device manual:
// two digits per byte, either letter case, blanks (spaces, tabs) allowed between the pairs
// ("1B 74 12", "1b7412").
//
// Thread safety: pure functions.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestova {

// The bytes of `text`; nullopt when it holds anything else, or a digit without its pair.
// Empty or blank text is no bytes.
std::optional<std::string> BytesFromHex(std::string_view text);

// The other way, as logs and tests show bytes: "1B 74 12", upper-case digits, one space between
// the pairs. Inline, for the USB library emulator, which links nothing of the project.
inline std::string HexFromBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace kestova
