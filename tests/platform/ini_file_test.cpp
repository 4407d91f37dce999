#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace kestova {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  TIniFile Write(const std::string& content) { return TIniFile(FDir.WriteFile("test.ini", content)); }

  test::TTempDir FDir{"kestova-ini"};
};

TEST_F(IniFileTest, SectionsAndKeysIgnoreCaseAndTheFirstMatchCounts) {
  const TIniFile ini = Write(
      "; comment\r\n[Settings]\r\nWidth=1\r\nwidth=2\r\n[MQTT]\r\nclientid=X\r\n  Spaced Key  =  v  \r\n"
      "[settings]\r\nHeight=9\r\n");
  EXPECT_EQ(ini.ReadString("settings", "WIDTH", "d"), "1");
  EXPECT_EQ(ini.ReadString("Mqtt", "ClientID", "d"), "X");
  EXPECT_EQ(ini.ReadString("mqtt", "spaced key", "d"), "v");
  // Only the first section of a name is searched.
  EXPECT_EQ(ini.ReadString("Settings", "Height", "d"), "d");
  EXPECT_EQ(ini.ReadString("Missing", "Width", "d"), "d");
  EXPECT_EQ(ini.ReadString("Settings", "Missing", "d"), "d");
}

TEST_F(IniFileTest, BlanksAndOnePairOfQuotesAreStripped) {
  const TIniFile ini = Write(
      "\xEF\xBB\xBF[S]\n"
      "a=\t  plain value \t\n"
      "b=\" a b \"\n"
      "c='single'\n"
      "d=\"\"twice\"\"\n"
      "e=\"mismatched'\n"
      "f=\"\n"
      "g=\n");
  EXPECT_EQ(ini.ReadString("S", "a", "d"), "plain value");
  EXPECT_EQ(ini.ReadString("S", "b", "d"), " a b ");
  EXPECT_EQ(ini.ReadString("S", "c", "d"), "single");
  EXPECT_EQ(ini.ReadString("S", "d", "d"), "\"twice\"");
  EXPECT_EQ(ini.ReadString("S", "e", "d"), "\"mismatched'");
  EXPECT_EQ(ini.ReadString("S", "f", "d"), "\"");
  EXPECT_EQ(ini.ReadString("S", "g", "d"), "");
}

TEST_F(IniFileTest, LongValuesAreCutTo2047Characters) {
  const std::string ascii(3000, 'x');
  std::string wide;
  for (int i = 0; i < 2100; ++i) wide += "\xC5\xA1";  // š, two bytes each
  const TIniFile ini = Write("[S]\nascii=" + ascii + "\nwide=" + wide + "\n");
  EXPECT_EQ(ini.ReadString("S", "ascii", "").size(), 2047u);
  EXPECT_EQ(ini.ReadString("S", "wide", "").size(), 2047u * 2);
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
  const TIniFile ini(FDir.File("none.ini"));
  EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("S", "k", 42), 42);
}

// A settings check points at the line of a key, so the numbers must be the editor's: CR LF, a
// lone CR and a lone LF each end one line.
TEST_F(IniFileTest, SectionsKeysAndSkippedLinesKeepTheirLineNumbers) {
  const TIniFile ini = Write("orphan=1\r\n; comment\r\n[A]\rx=1\nno equals sign\r\n\r\n[b]\n  Y = 2\n[a]\nz=3\n");
  EXPECT_TRUE(ini.Readable());
  ASSERT_EQ(ini.Sections().size(), 3u);
  EXPECT_EQ(ini.Sections()[0].Name, "A");
  EXPECT_EQ(ini.Sections()[0].Line, 3);
  EXPECT_EQ(ini.Sections()[1].Line, 7);
  EXPECT_EQ(ini.Sections()[2].Line, 9);
  const TIniFile::TEntry* y = ini.Find("B", "y");
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->Key, "Y");
  EXPECT_EQ(y->Value, "2");
  EXPECT_EQ(y->Line, 8);
  EXPECT_EQ(ini.Find("a", "X")->Line, 4);
  // The repeated section is kept for the check but never read.
  EXPECT_EQ(ini.Find("A", "z"), nullptr);
  EXPECT_EQ(ini.SkippedLines(), (std::vector<int>{1, 5}));
}

TEST_F(IniFileTest, AFolderOrAMissingFileIsNotReadable) {
  EXPECT_FALSE(TIniFile(FDir.File("missing.ini")).Readable());
  EXPECT_FALSE(TIniFile(FDir.Path()).Readable());
  EXPECT_TRUE(Write("").Readable());
}

TEST(IniIntegerTest, ConversionRules) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } const cases[] = {
      {"0x10", true, 16},
      {"0X1f", true, 31},
      {"$1F", true, 31},
      {"-$10", true, -16},
      {"+7", true, 7},
      {"-7", true, -7},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999", false, 0},
      {"0xFFFFFFFF", true, -1},
      {"$100000000", false, 0},
      {"0x", false, 0},
      {"0xg", false, 0},
      {"abc", false, 0},
      {"", false, 0},
      {"12a", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"-0x10", false, 0},
      {"1 2", false, 0},
      {"0010", true, 10},
      // Leading zeros count for nothing after 0x, as after $; the value decides the range.
      {"0x000000014", true, 20},
      {"$000000014", true, 20},
      {"0x100000000", false, 0},
      {"0x0000000100000000", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST_F(IniFileTest, IntegerKeysFallBackToTheirDefault) {
  const TIniFile ini = Write("[S]\nhex=0x10\nbad=abc\nbig=4294967296\nquoted=\"12\"\n");
  EXPECT_EQ(ini.ReadInteger("S", "hex", 20), 16);
  EXPECT_EQ(ini.ReadInteger("S", "bad", 20), 20);
  EXPECT_EQ(ini.ReadInteger("S", "big", 20), 20);
  EXPECT_EQ(ini.ReadInteger("S", "quoted", 20), 12);
}

}  // namespace
}  // namespace kestova
