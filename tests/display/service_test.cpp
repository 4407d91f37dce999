#include <gtest/gtest.h>

#include "display/settings.h"
#include "tests/display/service_fixture.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kSkipped = "Packet skipped - wrong command (not SHOW_MESSAGE or ENUM_DISPLAYS_REQ)";

TEST_F(DisplayServiceTest, StartsInSerialModeAndLogsEveryStepInOrder) {
  WriteSettings("", "User=pos\nTopics=pos/display1,pos/displays");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/displays\": Accepted")) << ::testing::PrintToString(LogLines());
  const std::string port = FPty.SlavePath();
  EXPECT_EQ(LogLines(), (Lines{
                            "COM port setting (Settings.ComPort): " + port,
                            "COM speed setting (Settings.ComSpeed): 9600",
                            "COM connecting to " + port,
                            "COM started",
                            "MQTT connecting to 127.0.0.1",
                            "MQTT clientID: Display1",
                            "MQTT username: pos",
                            "Connecting...",
                            "MQTT started",
                            "Subscribing to topics",
                            "Subscribing to \"pos/display1\": Accepted",
                            "Subscribing to \"pos/displays\": Accepted",
                        }));
  // Configured, not opened: the first write opens the port.
  EXPECT_FALSE(FService->comDisplay->Active());
  EXPECT_EQ(FService->comDisplay->Baudrate(), br9600);
}

TEST_F(DisplayServiceTest, AHungUpLineIsReportedAndReopenedByTheNextMessage) {
  WriteSettings("", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=open"));
  ASSERT_TRUE(PumpUntil([&] { return FService->comDisplay->Active(); }));

  FPty.HangUp();  // as when the display's USB adapter is unplugged
  ASSERT_TRUE(WaitForLog("Connection errors: 1024"));
  EXPECT_FALSE(FService->comDisplay->Active());
  // The next message tries to reopen the line; the device is gone, so that fails and is logged.
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=again"));
  ASSERT_TRUE(WaitForLog("Sending failed. Restarting COM port...", 2));
  EXPECT_TRUE(PumpUntil([&] {
    for (const auto& line : LogLines())
      if (line.rfind("(Mqtt OnMsg): ", 0) == 0) return true;
    return false;
  }));
  Deliver("pos/display1", "the server keeps listening");
}

TEST_F(DisplayServiceTest, SkipsWhatIsNotForThisDisplay) {
  WriteSettings("", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  struct Case {
    std::string payload;
    Lines lines;
  } const cases[] = {
      {ShowMessage("Display2", "LINE1=x"), {"Packet reiceved"}},
      {ShowMessage("Display1 ", "LINE1=x"), {"Packet reiceved"}},
      {"plain text", {"Packet reiceved", kSkipped}},
      {"{\"LINE1\": \"json\"}", {"Packet reiceved", kSkipped}},
      {"<msg><sender>a</sender><target>Display1</target><command>LOGOUT</command><params/></msg>",
       {"Packet reiceved", kSkipped}},
      {"<msg><sender>a</sender><command>SHOW_MESSAGE</command><params/></msg>",
       {"Packet reiceved", "(Mqtt OnMsg): GetNodeTextStr: No text in the the target node"}},
  };
  for (const auto& c : cases) {
    const std::size_t from = LogLines().size();
    Deliver("pos/display1", c.payload);
    PumpUntil([] { return false; }, 200ms);  // let any further line arrive
    EXPECT_EQ(LinesFrom(from), c.lines) << c.payload;
  }
  // Not UTF-8: the client drops it and nothing is logged; the next message still arrives.
  const std::size_t from = LogLines().size();
  Publish("pos/display1", "\xC3\x28 broken");
  Deliver("pos/display1", "after");
  EXPECT_EQ(LinesFrom(from), (Lines{"Packet reiceved", kSkipped}));
  EXPECT_FALSE(FService->comDisplay->Active()) << "nothing may have been written";
}

TEST_F(DisplayServiceTest, AnswersEnumerationOnTheFirstTopic) {
  WriteSettings("", "Topics=pos/displays,pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  ConnectStation("pos/displays");
  Deliver("pos/display1",
          "<msg><sender>POS1</sender><target></target><command>ENUM_DISPLAYS_REQ</command><params></params></msg>");
  ASSERT_TRUE(WaitForLog("Sending diplay info to VumoPOS..."));
  const std::string answer =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>Display1</sender><target></target>"
      "<command>ENUM_DISPLAYS_ANS</command><params>DisplayId=Display1</params></msg>";
  ASSERT_TRUE(PumpUntil([&] {
    return std::find(FStationMessages.begin(), FStationMessages.end(), answer) != FStationMessages.end();
  })) << "the answer never arrived";
  EXPECT_TRUE(WaitForLog(kSkipped)) << "the service hears its own answer on the first topic";
  EXPECT_FALSE(FService->comDisplay->Active());
}

TEST_F(DisplayServiceTest, TopicListProblems) {
  WriteSettings("", "Topics=a,,b");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"b\": Accepted"));
  EXPECT_EQ(CountLog("Subscribing to \"\": Accepted"), 0);
  EXPECT_EQ(CountLog("Subscribing to \"a\": Accepted"), 1);
  FService.reset();

  WriteSettings("", "");
  StartService();
  ASSERT_TRUE(WaitForLog("Error: No topics!"));
  EXPECT_EQ(CountLog("Subscribing to topics"), 2);
}

TEST_F(DisplayServiceTest, EnumerationWithoutTopicsReportsTheListError) {
  WriteSettings("", "");
  StartService();
  ASSERT_TRUE(WaitForLog("Error: No topics!"));
  // Nothing is subscribed, so hand the message over directly as the client would.
  TMqttBytes payload;
  const std::string text =
      "<msg><sender>P</sender><target/><command>ENUM_DISPLAYS_REQ</command><params></params></msg>";
  payload.assign(text.begin(), text.end());
  FService->mqttClientPublishReceived(*FService->mqttClient, 0, "t", payload);
  EXPECT_EQ(CountLog("(Enum displays) Error: List index out of bounds (0)"), 1);
}

TEST_F(DisplayServiceTest, ResubscribesAfterTheBrokerComesBack) {
  WriteSettings("", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  FBroker.Restart();
  ASSERT_TRUE(WaitForLog("Connection lost."));
  ASSERT_TRUE(WaitForLog("Reconnecting...", 1, 30s));
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted", 2, 30s));
  EXPECT_EQ(CountLog("Connection lost."), 1);
  EXPECT_EQ(CountLog("Subscribing to topics"), 2);
  Deliver("pos/display1", "still listening");
}

TEST_F(DisplayServiceTest, UnreachableBrokerIsReportedBeforeTheStartEnds) {
  WriteSettings("", "Topics=t");
  FBroker.Stop();
  StartService();
  const Lines lines = LogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ((Lines{lines.end() - 3, lines.end()}), (Lines{"Connecting...", "Server unavailable.", "MQTT started"}));
}

// No Broker key: the broker on this machine, not one on the internet. A Width that would cost
// every message its size in memory is refused, and the default is used.
TEST_F(DisplayServiceTest, UnconfiguredBrokerIsLocalAndAnOversizedWidthIsRefused) {
  FDir.WriteFile("Settings.ini", "[Settings]\nComPort=" + FPty.SlavePath() + "\nWidth=100000\n[Mqtt]\nPort=" +
                                     std::to_string(FBroker.Port()) + "\nClientID=Display1\nTopics=pos/display1\n");
  StartService();
  const Lines lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Width setting (Settings.Width): 100000 refused (1 to 80), 20 used");
  EXPECT_EQ(CountLog("MQTT connecting to localhost"), 1);
  // Handed over as the client would, so no connection is needed.
  const std::string text = ShowMessage("Display1", "LINE1=Total,ALIGN1=R");
  FService->mqttClientPublishReceived(*FService->mqttClient, 0, "pos/display1", TMqttBytes(text.begin(), text.end()));
  const std::string line1 = std::string(14, ' ') + "Total";  // Width - 1 = 19 bytes
  EXPECT_EQ(FPty.ReadMaster(line1.size() + 3, 5s), "\x0C" + line1 + "\x0A\x0D");
}

TEST_F(DisplayServiceTest, OtherDisplayModesDriveNothing) {
  WriteSettings("DisplayMode=2", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  EXPECT_EQ(LogLines().front(), "MQTT connecting to 127.0.0.1");
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=x"));
  PumpUntil([] { return false; }, 200ms);
  EXPECT_EQ(CountLog("Sending failed. Restarting COM port..."), 0);
  EXPECT_FALSE(FService->comDisplay->Active());
}

}  // namespace
}  // namespace kestova::test
