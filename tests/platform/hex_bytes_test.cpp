#include "platform/hex_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kestova {
namespace {

TEST(HexBytesTest, TakesPairsOfDigitsWithBlanksBetweenThem) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"1B 74 12", std::string("\x1B\x74\x12")},
      {"1b7412", std::string("\x1B\x74\x12")},
      {" 00\tFf ", std::string("\x00\xFF", 2)},
      {"", std::string()},
      {"   ", std::string()},
      {"1B 7", std::nullopt},  // a digit without its pair
      {"1 B", std::nullopt},   // a blank inside a pair
      {"0x1B", std::nullopt},
      {"1B,74", std::nullopt},
      {"ESC", std::nullopt},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(BytesFromHex(text), bytes) << '"' << text << '"';
}

TEST(HexBytesTest, WritesUpperCasePairsThatReadBack) {
  const std::uint8_t bytes[] = {0x1B, 0x74, 0x00, 0xAF};
  EXPECT_EQ(HexFromBytes(bytes), "1B 74 00 AF");
  EXPECT_EQ(HexFromBytes({}), "");
  EXPECT_EQ(BytesFromHex(HexFromBytes(bytes)), std::string("\x1B\x74\x00\xAF", 4));
}

}  // namespace
}  // namespace kestova
