// The display comes back by itself: after its adapter is unplugged and plugged back, and when it
// appears only after the start. A link in the test's folder stands in for /dev/serial/by-id/...:
// it goes with the device, and comes back pointing at the new one.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/display/service_fixture.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

class DisplayReplugTest : public DisplayServiceTest {
 protected:
  std::string Link() const { return FDir.File("display"); }
  // A reopened port writes its frame at once; allow two write time-outs of the port.
  std::chrono::milliseconds Bound() const {
    return std::chrono::milliseconds(2 * FService->comDisplay->Buffers().WriteTimeout());
  }
  void Start() {
    WriteSettings("", "Topics=pos/display1", 0, Link());
    StartService();
    ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  }

  const std::string FFrame = "\x0C" "Total\x0A\x0D" "12.50";
  const std::string FMessage = ShowMessage("Display1", "LINE1=Total,LINE2=12.50");
};

TEST_F(DisplayReplugTest, AfterAReplugTheLastFrameIsShownAgainWithoutANewMessage) {
  std::filesystem::create_symlink(FPty.SlavePath(), Link());
  Start();
  Deliver("pos/display1", FMessage);
  ASSERT_EQ(FPty.ReadMaster(FFrame.size(), 5s), FFrame);

  FPty.HangUp();
  ASSERT_TRUE(WaitForLog("Connection errors: 1024"));
  std::filesystem::remove(Link());
  TPtyPair replugged;
  std::filesystem::create_symlink(replugged.SlavePath(), Link());
  EXPECT_EQ(replugged.ReadMaster(FFrame.size(), Bound()), FFrame);
  EXPECT_EQ(CountLog("COM port reopened: " + Link()), 1);
  EXPECT_EQ(CountLog("Packet reiceved"), 1) << "no new message was needed";
}

TEST_F(DisplayReplugTest, ADeviceThatAppearsAfterTheStartShowsTheMessageThatFoundItMissing) {
  Start();
  Deliver("pos/display1", FMessage);
  ASSERT_TRUE(WaitForLog("(Mqtt OnMsg): Specified device not found (" + Link() + ")."));
  std::filesystem::create_symlink(FPty.SlavePath(), Link());
  EXPECT_EQ(FPty.ReadMaster(FFrame.size(), Bound()), FFrame);
  EXPECT_EQ(CountLog("COM port reopened: " + Link()), 1);
}

}  // namespace
}  // namespace kestova::test
