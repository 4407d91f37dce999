#include "platform/number_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kestova {
namespace {

TEST(NumberTextTest, TakesOnlyWholeDecimalNumbersWithinTheRange) {
  const std::pair<std::string, bool> cases[] = {{"0", true},
                                                {"-5", true},
                                                {"+7", true},
                                                {"65535", true},
                                                {"65536", false},
                                                {"", false},
                                                {"7x", false},
                                                {" 7", true},
                                                {"0x10", false},
                                                {"1e3", false},
                                                {"99999999999999999999", false}};
  for (const auto& [text, valid] : cases) {
    long long value = 42;
    EXPECT_EQ(ParseNumber(text, -10, 65535, value), valid) << text;
    if (!valid) {
      EXPECT_EQ(value, 42) << "untouched: " << text;
    }
  }
  long long value = 0;
  ASSERT_TRUE(ParseNumber("-10", -10, 10, value));
  EXPECT_EQ(value, -10);
}

}  // namespace
}  // namespace kestova
