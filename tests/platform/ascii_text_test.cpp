#include "platform/ascii_text.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

using namespace std::string_view_literals;

// Only ASCII letters fold: bytes of UTF-8 text and other symbols compare exactly.
TEST(AsciiTextTest, SameTextFoldsOnlyAsciiLetters) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"Display1", "DISPLAY1", true},
      {"", "", true},
      {"a", "", false},
      {"\xC3\xA9", "\xC3\x89", false},  // é and É
      {"[", "{", false},
      {"@", "`", false},
      {"ab", "abc", false},
  };
  for (const Case& c : cases) EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
  EXPECT_TRUE(StartsWithText("com3", "COM"));
  EXPECT_FALSE(StartsWithText("CO", "COM"));
  EXPECT_EQ(AsciiLowerCase("MqTT-\xC3\x89"), "mqtt-\xC3\x89");
  EXPECT_EQ(AsciiUpper('z'), 'Z');
  EXPECT_EQ(AsciiUpper('\xE9'), '\xE9');
}

// Blank: codes 0 to 32, which takes in tabs, line breaks and NUL, but no byte of UTF-8 text.
TEST(AsciiTextTest, BlanksAreSpacesAndControlCharacters) {
  EXPECT_EQ(TrimBlanks(" \t\x01pos/display1\r\n\0"sv), "pos/display1");
  EXPECT_EQ(TrimBlanks(" a b "), "a b");
  EXPECT_EQ(TrimBlanks("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");  // no-break spaces stay
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank(" \t\x1F"));
  EXPECT_FALSE(IsBlank(" \x7F "));
}

TEST(AsciiTextTest, HexDigitValues) {
  const std::pair<char32_t, int> cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'F', 15},   {'g', -1},
                                            {'G', -1}, {'/', -1}, {':', -1}, {0xFF10, -1}};  // a full-width 0
  for (const auto& [c, value] : cases) EXPECT_EQ(HexDigitValue(c), value) << static_cast<uint32_t>(c);
}

}  // namespace
}  // namespace kestova
