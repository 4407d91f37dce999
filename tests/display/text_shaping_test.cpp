#include "display/text_shaping.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

TEST(StringTo852Test, ConvertsTheCentralEuropeanLettersInOrder) {
  struct Case {
    ByteString in, out;
  } const cases[] = {
      {"\xE8\x9A\x9E\xE6\xF0\xC8\x8A\x8E\xC6\xD0", "\x9F\xE7\xA7\x86\xD0\xAC\xE6\xA6\x8F\xD1"},
      // ć becomes 0x86 before Š can produce a second 0xE6 that step 4 would take.
      {"\xE6\x8A", "\x86\xE6"},
      // đ and Đ side by side: đ must not end up as Đ's 0xD1.
      {"\xF0\xD0", "\xD0\xD1"},
      {"[malidz]", "\xD0"},
      {"x[malidz]y[malidz]", "x\xD0y\xD0"},
      {"[malidz", "[malidz"},
      {"", ""},
      {"Plain ASCII 1.50", "Plain ASCII 1.50"},
      // Other accented letters pass unchanged.
      {"\xE1\xE9", "\xE1\xE9"},
  };
  for (const auto& c : cases) EXPECT_EQ(StringTo852(c.in), c.out) << c.in;
}

TEST(ExactWidthTest, FillsAndCuts) {
  struct Case {
    ByteString in;
    int32_t width;
    ByteString left, right;
  } const cases[] = {
      {"abc", 5, "  abc", "abc  "},
      {"abcdef", 4, "cdef", "cdef"},
      {"abcd", 4, "abcd", "abcd"},
      {"abc", 0, "", ""},
      {"abc", -3, "", ""},
      {"", 3, "   ", "   "},
      {"", 0, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrExactL(c.in, " ", c.width), c.left) << c.in << "/" << c.width;
    EXPECT_EQ(StrExactR(c.in, " ", c.width), c.right) << c.in << "/" << c.width;
  }
}

TEST(ResizeStringTest, AddsWholeCopiesAndNeverCuts) {
  EXPECT_EQ(ResizeString("ab", "12", 5, ftRight), "ab1212");
  EXPECT_EQ(ResizeString("ab", "12", 5, ftLeft), "1212ab");
  EXPECT_EQ(ResizeString("abcdef", " ", 3, ftLeft), "abcdef");
  EXPECT_EQ(ResizeString("ab", "", 5, ftLeft), "ab");
  EXPECT_EQ(ResizeString("ab", "*", INT32_MIN, ftLeft), "ab");
}

TEST(PreProcessTest, PeriodsCodePageAndWidth) {
  EXPECT_EQ(PreProcess("1,50 EUR", 20), "1.50 EUR");
  EXPECT_EQ(PreProcess("0123456789012345678901234", 20), "01234567890123456789");
  EXPECT_EQ(PreProcess("Ra\xE8un,", 20), "Ra\x9Fun.");
  EXPECT_EQ(PreProcess("abc", 0), "");
  EXPECT_EQ(PreProcess("abc", -1), "");
  // The placeholder is expanded before the cut, so a đ at the end still fits in one byte.
  EXPECT_EQ(PreProcess("abc\xF0", 4), "abc\xD0");
}

}  // namespace
}  // namespace kestova
