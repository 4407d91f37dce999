// The server's bytes for each command set (display/display_protocol.h), read back by the virtual
// display: whatever the set, the display shows the two lines the server meant.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display_protocol.h"
#include "display/text_shaping.h"
#include "tools/virtual-display/display_decoder.h"

namespace kestova {
namespace {

constexpr TDisplayProtocol kSets[] = {prFrame, prEpson, prCd5220, prLogicControls, prAedex};
constexpr int32_t kWidth = 20;
const std::string kFull = "ABCDEFGHIJKLMNOPQRST";
// A model's code-table command, as DisplayInit sends it after the opening bytes.
const std::string kInit = "\x1Bt\x12";

// What a 20-column display shows once it has read `bytes`.
TDisplayFrame Shown(TDisplayProtocol protocol, const std::string& bytes, bool wrap) {
  return ShownAfter(*MakeDisplayDecoder(protocol, kWidth, wrap), bytes);
}

// A fresh port: the opening bytes, the init bytes, then updates.
std::string Session(TDisplayProtocol protocol, const std::vector<TDisplayFrame>& updates) {
  std::string bytes = OpeningBytes(protocol) + kInit;
  for (const TDisplayFrame& u : updates) bytes += UpdateBytes(protocol, u.Line1, u.Line2, kWidth);
  return bytes;
}

TEST(RoundTripTest, EverySetShowsTheLinesTheServerMeant) {
  const TDisplayFrame cases[] = {
      {"Total", "12.50"},
      {kFull, "xyz"},
      {kFull, "abcdefghijklmnopqrst"},
      {"", ""},
      {StrExactL("Total", " ", kWidth - 1), "x"},  // ALIGN1=R
      {"Ra\x9Fun", "\x9F\xE7\xA7\x86\xD0\xAC\xE6\xA6\x8F\xD1"},
  };
  // A longer text before: each update must replace all of it.
  const TDisplayFrame before{"Previous long line 1", "Previous long line 2"};
  for (const TDisplayProtocol protocol : kSets) {
    for (const bool wrap : {false, true}) {
      // The frame set on a display that wraps is the case below.
      if (protocol == prFrame && wrap) continue;
      SCOPED_TRACE(std::string(DisplayProtocolName(protocol)) + (wrap ? ", wrapping" : ""));
      for (const TDisplayFrame& c : cases) {
        EXPECT_EQ(Shown(protocol, Session(protocol, {c}), wrap), c) << c.Line1 << " / " << c.Line2;
        EXPECT_EQ(Shown(protocol, Session(protocol, {before, c}), wrap), c) << c.Line1 << " / " << c.Line2;
      }
    }
  }
}

// A display that moves its cursor to line 2 after the last column of line 1: the frame's line
// feed then takes it back up, and line 2 overwrites a full-width line 1. A set that places each
// line itself shows both.
TEST(RoundTripTest, AFullWidthLine1SurvivesOnAWrappingDisplayOnlyWithPlacedLines) {
  const std::vector<TDisplayFrame> update = {{kFull, "xyz"}};
  EXPECT_EQ(Shown(prFrame, Session(prFrame, update), false), (TDisplayFrame{kFull, "xyz"}));
  EXPECT_EQ(Shown(prFrame, Session(prFrame, update), true), (TDisplayFrame{"xyzDEFGHIJKLMNOPQRST", ""}));
  EXPECT_EQ(Shown(prEpson, Session(prEpson, update), true), (TDisplayFrame{kFull, "xyz"}));
  // One column short, the frame is fine on that display too.
  const std::string short1 = kFull.substr(0, 19);
  EXPECT_EQ(Shown(prFrame, Session(prFrame, {{short1, "xyz"}}), true), (TDisplayFrame{short1, "xyz"}));
}

}  // namespace
}  // namespace kestova
