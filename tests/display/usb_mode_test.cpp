#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/executable_path.h"
#include "tests/display/service_fixture.h"

namespace kestova::test {
namespace {

using Lines = std::vector<std::string>;

class UsbModeTest : public DisplayServiceTest {
 protected:
  void SetUp() override {
    DisplayServiceTest::SetUp();
    FCallLog = FDir.File("usbpd.log");
    setenv("KESTOVA_USBPD_LOG", FCallLog.c_str(), 1);
  }
  void TearDown() override {
    DisplayServiceTest::TearDown();
    unsetenv("KESTOVA_USBPD_LOG");
  }
  Lines Calls() const {
    std::ifstream in(FCallLog);
    Lines lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string FCallLog;
};

TEST_F(UsbModeTest, GreetsThroughTheLibraryAndWritesEachUpdateInFiveCalls) {
  WriteSettings("DisplayMode=1\nWidth=10", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  const Lines log = LogLines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "Loading DLL: " + ExecutableFolder() + "libusbpd.so");
  EXPECT_EQ(log[1], "DLL started");
  EXPECT_EQ(log[2], "MQTT connecting to 127.0.0.1");

  const std::string spaces10 = "20 20 20 20 20 20 20 20 20 20";
  EXPECT_EQ(Calls(), (Lines{"OPEN", "1B 49", "1B 48 00", "4B 65 73 74 6F 76 61 20 56 75 " + spaces10, "1B 48 14",
                            spaces10 + " " + spaces10}));

  Deliver("pos/display1", ShowMessage("Display1", "\"LINE1=1,5 €\",ALIGN1=R"));
  ASSERT_TRUE(PumpUntil([&] { return Calls().size() >= 11; }));
  const Lines calls = Calls();
  const Lines update(calls.begin() + 6, calls.end());
  // Right-aligned to Width - 1; the second line is empty: a zero-length write.
  EXPECT_EQ(update, (Lines{"1B 49", "1B 48 00", "20 20 20 20 31 2E 35 20 80", "1B 48 14", "-"}));
}

TEST_F(UsbModeTest, StopClosesTheLibrary) {
  WriteSettings("DisplayMode=1", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  bool stopped = true;
  FService->ServiceStop(stopped);
  EXPECT_EQ(Calls().back(), "CLOSE");
  const Lines log = LogLines();
  EXPECT_EQ(log.back(), "Service stopped");
  EXPECT_NE(std::find(log.begin(), log.end(), "Service stopping..."), log.end());
}

}  // namespace
}  // namespace kestova::test
