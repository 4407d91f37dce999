#include "display/display_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/hex.h"

namespace kestova {
namespace {

using test::FromHex;
using test::ToHex;

const std::string kFull = "ABCDEFGHIJKLMNOPQRST";           // all 20 columns
const std::string kRight = std::string(14, ' ') + "12.50";  // ALIGN2=R: Width - 1 bytes

struct LinesCase {
  std::string Name;
  std::string Line1;
  std::string Line2;
};

const std::vector<LinesCase>& Lines() {
  static const std::vector<LinesCase> cases = {
      {"two short lines", "Total", "12.50"},
      {"full-width line 1", kFull, "xyz"},
      {"empty lines", "", ""},
      {"right-aligned line 2", "Total", kRight},
  };
  return cases;
}

std::string Fill(const std::string& line) { return line + std::string(20 - line.size(), ' '); }

// The bytes of each set for the cases of Lines(), in order, at Width 20.
struct SetCase {
  TDisplayProtocol Protocol;
  std::string Opening;
  std::vector<std::string> Updates;
};

std::vector<SetCase> SetCases() {
  const auto H = [](const char* hex) { return FromHex(hex); };
  return {
      {prFrame,
       "",
       {H("0C") + "Total" + H("0A 0D") + "12.50", H("0C") + kFull + H("0A 0D") + "xyz", H("0C 0A 0D"),
        H("0C") + "Total" + H("0A 0D") + kRight}},
      {prEpson,
       H("1B 40"),
       {H("0C 1F 24 01 01") + "Total" + H("1F 24 01 02") + "12.50",
        H("0C 1F 24 01 01") + kFull + H("1F 24 01 02") + "xyz", H("0C 1F 24 01 01 1F 24 01 02"),
        H("0C 1F 24 01 01") + "Total" + H("1F 24 01 02") + kRight}},
      {prCd5220,
       H("1B 40"),
       {H("0C 1B 6C 01 01") + "Total" + H("1B 6C 01 02") + "12.50",
        H("0C 1B 6C 01 01") + kFull + H("1B 6C 01 02") + "xyz", H("0C 1B 6C 01 01 1B 6C 01 02"),
        H("0C 1B 6C 01 01") + "Total" + H("1B 6C 01 02") + kRight}},
      {prLogicControls,
       H("1F 11"),
       {H("10 00") + Fill("Total") + H("10 14") + Fill("12.50"), H("10 00") + kFull + H("10 14") + Fill("xyz"),
        H("10 00") + Fill("") + H("10 14") + Fill(""), H("10 00") + Fill("Total") + H("10 14") + Fill(kRight)}},
      {prAedex,
       "",
       {"!#1Total" + H("0D") +
            "!#2"
            "12.50" +
            H("0D"),
        "!#1" + kFull + H("0D") + "!#2xyz" + H("0D"), "!#1" + H("0D") + "!#2" + H("0D"),
        "!#1Total" + H("0D") + "!#2" + kRight + H("0D")}},
  };
}

TEST(DisplayProtocolTest, EachSetWritesItsExactBytes) {
  for (const SetCase& set : SetCases()) {
    SCOPED_TRACE(std::string(DisplayProtocolName(set.Protocol)));
    EXPECT_EQ(ToHex(OpeningBytes(set.Protocol)), ToHex(set.Opening));
    ASSERT_EQ(set.Updates.size(), Lines().size());
    for (std::size_t i = 0; i < Lines().size(); ++i) {
      const LinesCase& c = Lines()[i];
      EXPECT_EQ(ToHex(UpdateBytes(set.Protocol, c.Line1, c.Line2, 20)), ToHex(set.Updates[i])) << c.Name;
    }
  }
}

// Only the logic-controls set depends on the width: it fills to it, and line 2 stays at 20.
TEST(DisplayProtocolTest, LogicControlsFillsToTheWidthAndKeepsLine2AtTwenty) {
  EXPECT_EQ(ToHex(UpdateBytes(prLogicControls, "Total", "", 8)),
            "10 00 54 6F 74 61 6C 20 20 20 10 14 20 20 20 20 20 20 20 20");
  EXPECT_EQ(UpdateBytes(prEpson, "Total", "", 8), UpdateBytes(prEpson, "Total", "", 20));
  // The letters the shaping moved to code page 852 pass as they are.
  EXPECT_EQ(ToHex(UpdateBytes(prFrame, "Ra\x9Fun", "", 20)), "0C 52 61 9F 75 6E 0A 0D");
}

TEST(DisplayProtocolTest, NamesIgnoreLetterCase) {
  const std::pair<std::string, std::optional<TDisplayProtocol>> cases[] = {
      {"frame", prFrame},       {"EPSON", prEpson}, {"Cd5220", prCd5220},     {"logic-controls", prLogicControls},
      {"AEDEX", prAedex},       {"", std::nullopt}, {"epson ", std::nullopt}, {"logic controls", std::nullopt},
      {"escpos", std::nullopt},
  };
  for (const auto& [name, protocol] : cases) EXPECT_EQ(DisplayProtocolByName(name), protocol) << name;
  for (const TDisplayProtocol p : {prFrame, prEpson, prCd5220, prLogicControls, prAedex})
    EXPECT_EQ(DisplayProtocolByName(DisplayProtocolName(p)), p);
  EXPECT_EQ(DisplayProtocolNames(), "frame, epson, cd5220, logic-controls or aedex");
}

}  // namespace
}  // namespace kestova
