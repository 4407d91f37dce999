// The display service end to end, once per command set of the serial display: a real broker, the
// display on a pseudo-terminal, and what arrives there read back by the virtual display's decoder.
#include <gtest/gtest.h>

#include "tests/display/service_fixture.h"
#include "tests/support/hex.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kSubscribed = "Subscribing to \"pos/display1\": Accepted";
const std::string kRestart = "Sending failed. Restarting COM port...";

TEST_P(DisplaySetTest, ShowsMessagesOnTheSerialLineAfterTheFirstWriteOpensThePort) {
  WriteSettings("Width=20\n" + SetSettings(), "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog(kSubscribed));
  // The set is named at start when it is not the default, and so are init bytes.
  Lines named;
  for (const std::string& line : LogLines())
    if (line.starts_with("COM display ")) named.push_back(line);
  Lines expected;
  if (GetParam().Protocol != prFrame)
    expected.push_back("COM display protocol (Settings.DisplayProtocol): " +
                       std::string(DisplayProtocolName(GetParam().Protocol)));
  if (!GetParam().Init.empty()) expected.push_back("COM display init (Settings.DisplayInit): " + GetParam().Init);
  EXPECT_EQ(named, expected);

  // The port is still closed: the first message opens it; the fresh line gets the opening bytes,
  // then the frame.
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=first,LINE2=shown"));
  ASSERT_TRUE(WaitForLog(kRestart));
  std::string stream = Opening() + Update("first", "shown");
  EXPECT_EQ(ToHex(FPty.ReadMaster(stream.size(), Bound())), ToHex(stream));

  struct Case {
    std::string target, params, line1, line2;
  } const cases[] = {
      {"Display1", "LINE1=Račun,\"LINE2=1,50 EUR\"",
       "Ra\x9F"
       "un",
       "1.50 EUR"},
      {"display1", "LINE1=Total,ALIGN1=R,LINE2=x,ALIGN2=r", std::string(14, ' ') + "Total", "x"},
      {"DISPLAY1", "LINE1=0123456789012345678901234", "01234567890123456789", ""},
      {"Display1", "", "", ""},
      {"Display1", "line1=čšžćđČŠŽĆĐ", "\x9F\xE7\xA7\x86\xD0\xAC\xE6\xA6\x8F\xD1", ""},
  };
  for (const auto& c : cases) {
    Deliver("pos/display1", ShowMessage(c.target, c.params));
    const std::string update = Update(c.line1, c.line2);
    const std::string got = FPty.ReadMaster(update.size(), Bound());
    EXPECT_EQ(ToHex(got), ToHex(update)) << c.params;
    stream += got;
    EXPECT_EQ(Shown(stream), (TDisplayFrame{c.line1, c.line2})) << c.params;
  }
  EXPECT_EQ(CountLog(kRestart), 1);

  // Every reopen after a failed write starts the display over: here the port was closed under
  // the service, as when a write fails.
  FService->comDisplay->Close();
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=again"));
  ASSERT_TRUE(WaitForLog(kRestart, 2));
  const std::string again = Opening() + Update("again", "");
  EXPECT_EQ(ToHex(FPty.ReadMaster(again.size(), Bound())), ToHex(again));
}

// Messages that arrive while the port opens: each new frame replaces the one waiting in the
// port's queue, the one that carries the opening bytes too, yet the display gets the opening
// bytes before any frame and ends up showing the newest text.
TEST_P(DisplaySetTest, TheOpeningBytesGoFirstWhenABurstFollowsTheOpen) {
  WriteSettings(SetSettings(), "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog(kSubscribed));

  constexpr int kMessages = 200;
  std::string lines;
  for (int i = 0; i < kMessages; ++i)
    lines += ShowMessage("Display1", "LINE1=Item " + std::to_string(i) + ",LINE2=Total " + std::to_string(i)) + "\n";
  PublishLines("pos/display1", FDir.WriteFile("burst.txt", lines));
  ASSERT_TRUE(PumpUntil([&] { return CountLog("Packet reiceved") >= kMessages; }, 120s));

  std::string stream = FPty.ReadMaster(Opening().size(), Bound());
  EXPECT_EQ(ToHex(stream), ToHex(Opening()));
  const TDisplayFrame newest{"Item " + std::to_string(kMessages - 1), "Total " + std::to_string(kMessages - 1)};
  EXPECT_TRUE(PumpUntil(
      [&] {
        stream += FPty.ReadMaster(4096, 10ms);
        return Shown(stream) == newest;
      },
      Bound()))
      << ToHex(stream);
  EXPECT_EQ(CountLog(kRestart), 1);
}

INSTANTIATE_TEST_SUITE_P(EverySet, DisplaySetTest, ::testing::ValuesIn(AllDisplaySets()),
                         ::testing::PrintToStringParamName());

// An unknown set and bytes that are no hexadecimal are named at start; the frame goes out alone.
TEST_F(DisplayServiceTest, AnUnknownSetIsNamedAtStartAndTheFrameUsed) {
  WriteSettings("DisplayProtocol=epson-ish\nDisplayInit=1B 7", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog(kSubscribed));
  const Lines lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ((Lines{lines.begin(), lines.begin() + 2}),
            (Lines{"Display protocol setting (Settings.DisplayProtocol): epson-ish refused (frame, epson, cd5220, "
                   "logic-controls or aedex), frame used",
                   "Display init setting (Settings.DisplayInit): 1B 7 refused (bytes in hexadecimal, such as 1B 74 "
                   "12), nothing sent"}));
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=Total"));
  const std::string frame =
      "\x0C"
      "Total\x0A\x0D";
  EXPECT_EQ(ToHex(FPty.ReadMaster(frame.size(), Bound())), ToHex(frame));
}

}  // namespace
}  // namespace kestova::test
