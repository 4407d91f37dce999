#include "platform/string_list.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

using Items = std::vector<std::string>;

TStringList ListOf(const Items& items, bool strict) {
  TStringList list;
  list.SetStrictDelimiter(strict);
  for (const auto& item : items) list.Add(item);
  return list;
}

Items Read(const std::string& text, bool strict) {
  TStringList list;
  list.SetStrictDelimiter(strict);
  list.SetCommaText(text);
  return list.Items();
}

struct ReadCase {
  const char* text;
  bool strict;
  Items items;
};

TEST(StringListTest, ReadsCommaTextInBothModes) {
  const ReadCase cases[] = {
      {"", true, {}},
      {"a,,b", true, {"a", "", "b"}},
      {"a,", true, {"a", ""}},
      {",a", true, {"", "a"}},
      {"LINE1=a b,LINE2=c", true, {"LINE1=a b", "LINE2=c"}},
      {"\"ab\"cd", true, {"ab", "cd"}},
      {"\"say \"\"hi\"\"\",x", true, {"say \"hi\"", "x"}},
      {"\"unterminated, still", true, {"unterminated, still"}},
      {"\"\"", true, {""}},
      {" a , b ", true, {" a ", " b "}},
      // Without strict delimiting blanks separate and surround items.
      {"a, b", false, {"a", "b"}},
      {"a b", false, {"a", "b"}},
      {"a,,b", false, {"a", "", "b"}},
      {"a,", false, {"a", ""}},
      {",a", false, {"", "a"}},
      {"\"x, y\",z", false, {"x, y", "z"}},
      {"  a  ,  ", false, {"a"}},  // the comma is not the last character
      {"\t\n", false, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.text, c.strict), c.items) << c.text << " strict=" << c.strict;
}

TEST(StringListTest, WritesCommaTextQuotingOnlyWhatNeedsIt) {
  EXPECT_EQ(ListOf({}, true).CommaText(), "");
  EXPECT_EQ(ListOf({""}, true).CommaText(), "\"\"");
  EXPECT_EQ(ListOf({"", ""}, true).CommaText(), ",");
  EXPECT_EQ(ListOf({"LINE1=Hello", "LINE2=World"}, true).CommaText(), "LINE1=Hello,LINE2=World");
  EXPECT_EQ(ListOf({"LINE1=Hello, world"}, true).CommaText(), "\"LINE1=Hello, world\"");
  EXPECT_EQ(ListOf({"a\"b"}, true).CommaText(), "\"a\"\"b\"");
  EXPECT_EQ(ListOf({"a b", "x\ny"}, true).CommaText(), "a b,x\ny");
  EXPECT_EQ(ListOf({"a b", "x\ny", "c"}, false).CommaText(), "\"a b\",\"x\ny\",c");
}

TEST(StringListTest, CommaTextRoundTripsAndLooseTextReadsBackStrictly) {
  const Items items = {"a b", "", "q\"uote", "c,d", "tail,", " lead"};
  for (bool strict : {true, false}) {
    const std::string text = ListOf(items, strict).CommaText();
    EXPECT_EQ(Read(text, strict), items) << text;
    EXPECT_EQ(Read(text, true), items) << "strict reading of " << text;
  }
}

TEST(StringListTest, DelimitedTextUsesTheListsOwnCharacters) {
  TStringList list;
  list.SetStrictDelimiter(true);
  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetDelimitedText("a,b;'c;d';");
  EXPECT_EQ(list.Items(), (Items{"a,b", "c;d", ""}));
  EXPECT_EQ(list.DelimitedText(), "a,b;'c;d';");
  EXPECT_EQ(list.CommaText(), "\"a,b\",c;d,");
}

TEST(StringListTest, ValueByNameIgnoresCaseAndTakesTheFirstMatch) {
  const TStringList list = ListOf({"novalue", "Line1=a=b", "LINE1=second", "=empty", "x="}, true);
  EXPECT_EQ(list.Values("line1"), "a=b");
  EXPECT_EQ(list.Values(""), "empty");
  EXPECT_EQ(list.Values("x"), "");
  EXPECT_EQ(list.Values("novalue"), "");
  EXPECT_EQ(list.Values("LINE2"), "");
  EXPECT_EQ(list.IndexOfName("LINE1"), 1);
}

TEST(StringListTest, SettingAValueReplacesByNameAppendsOrRemovesWhenEmpty) {
  TStringList list = ListOf({"A=1", "b=2", "a=3"}, false);
  list.SetValues("a", "9");    // the first item of that name, in any case
  list.SetValues("C", "x y");  // a new name goes to the end
  list.SetValues("B", "");     // an empty value removes the item
  list.SetValues("D", "");     // and appends nothing
  EXPECT_EQ(list.Items(), (Items{"a=9", "a=3", "C=x y"}));
}

TEST(StringListTest, TextIsSplitIntoLinesAtEveryKindOfLineBreak) {
  TStringList list;
  list.SetText("[Db]\r\nName=x\n\rlast\r\n");
  EXPECT_EQ(list.Items(), (Items{"[Db]", "Name=x", "", "last"}));
  list.SetText("no break");
  EXPECT_EQ(list.Items(), (Items{"no break"}));
}

TEST(StringListTest, IndexErrorsNameTheIndex) {
  TStringList list = ListOf({"a"}, true);
  EXPECT_EQ(list.Strings(0), "a");
  for (int bad : {-1, 1, 7}) {
    EXPECT_EQ(ThrownMessage<EListError>([&] { (void)list.Strings(bad); }),
              Format("List index out of bounds (%d)", bad));
  }
  EXPECT_THROW(list.Delete(1), EListError);
}

}  // namespace
}  // namespace kestova
