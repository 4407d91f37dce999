#pragma once
// Byte vectors written as hex text ("10 13 00 04") for readable expectations.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "mqtt/global.h"

namespace kestova::testing {

inline TMqttBytes Hex(std::string_view AText) {
  TMqttBytes bytes;
  std::istringstream in{std::string(AText)};
  std::string pair;
  while (in >> pair) bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}

inline std::string ToHex(TMqttByteView ABytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < ABytes.size(); ++i) {
    if (i) text += ' ';
    text += kDigits[ABytes[i] >> 4];
    text += kDigits[ABytes[i] & 0x0F];
  }
  return text;
}

inline TMqttBytes Bytes(std::string_view AText) { return TMqttBytes(AText.begin(), AText.end()); }

}  // namespace kestova::testing
