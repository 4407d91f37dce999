// The display comes back by itself: after its adapter is unplugged and plugged back, and when it
// appears only after the start; once per command set, since the device on the new line needs
// the set's opening bytes before the frame. A link in the test's folder stands in for
// /dev/serial/by-id/...: it goes with the device, and comes back pointing at the new one.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/display/service_fixture.h"
#include "tests/support/hex.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

class DisplayReplugTest : public DisplaySetTest {
 protected:
  std::string Link() const { return FDir.File("display"); }
  void Start() {
    WriteSettings(SetSettings(), "Topics=pos/display1", 0, Link());
    StartService();
    ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  }
  // What a freshly opened line gets for the message.
  std::string Fresh() const { return Opening() + Update("Total", "12.50"); }

  const std::string FMessage = ShowMessage("Display1", "LINE1=Total,LINE2=12.50");
};

TEST_P(DisplayReplugTest, AfterAReplugTheLastFrameIsShownAgainWithoutANewMessage) {
  std::filesystem::create_symlink(FPty.SlavePath(), Link());
  Start();
  Deliver("pos/display1", FMessage);
  ASSERT_EQ(ToHex(FPty.ReadMaster(Fresh().size(), 5s)), ToHex(Fresh()));

  FPty.HangUp();
  ASSERT_TRUE(WaitForLog("Connection errors: 1024"));
  std::filesystem::remove(Link());
  TPtyPair replugged;
  std::filesystem::create_symlink(replugged.SlavePath(), Link());
  EXPECT_EQ(ToHex(replugged.ReadMaster(Fresh().size(), Bound())), ToHex(Fresh()));
  EXPECT_EQ(CountLog("COM port reopened: " + Link()), 1);
  EXPECT_EQ(CountLog("Packet reiceved"), 1) << "no new message was needed";
  // `replugged` goes before the service: without the link, the service's watcher cannot follow
  // it to whatever pty (of another test running meanwhile) gets that number next.
  std::filesystem::remove(Link());
}

TEST_P(DisplayReplugTest, ADeviceThatAppearsAfterTheStartShowsTheMessageThatFoundItMissing) {
  Start();
  Deliver("pos/display1", FMessage);
  ASSERT_TRUE(WaitForLog("(Mqtt OnMsg): Specified device not found (" + Link() + ")."));
  std::filesystem::create_symlink(FPty.SlavePath(), Link());
  EXPECT_EQ(ToHex(FPty.ReadMaster(Fresh().size(), Bound())), ToHex(Fresh()));
  EXPECT_EQ(CountLog("COM port reopened: " + Link()), 1);
}

INSTANTIATE_TEST_SUITE_P(EverySet, DisplayReplugTest, ::testing::ValuesIn(AllDisplaySets()),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace kestova::test
