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
      {"1B 7", std::nullopt},      // a digit without its pair
      {"1 B", std::nullopt},       // a blank inside a pair
      {"0x1B", std::nullopt},
      {"1B,74", std::nullopt},
      {"ESC", std::nullopt},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(BytesFromHex(text), bytes) << '"' << text << '"';
}

}  // namespace
}  // namespace kestova
