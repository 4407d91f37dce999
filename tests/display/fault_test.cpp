// The whole display service through the faults a counter meets: the broker down at start, a
// listener that never answers, a path that goes silent, a broker host that freezes. Each time
// it must notice, say so in its log and answer an enumeration request again once the fault is
// gone, by itself. Time bounds come from the settings under test (KeepAlive=2, the service's
// reconnect interval with its jitter, the client's CONNACK time-out) plus a margin for a loaded
// machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "mqtt/reconnect_schedule.h"
#include "tests/display/service_fixture.h"
#include "tests/support/hex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/support_error.h"
#include "tests/support/tcp_proxy.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

constexpr milliseconds kSlack = 5s;
constexpr int kKeepAlive = 2;  // seconds, as the settings below say
const std::string kEnumRequest =
    "<msg><sender>POS1</sender><target></target><command>ENUM_DISPLAYS_REQ</command><params></params></msg>";
const std::string kEnumAnswer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>Display1</sender><target></target>"
    "<command>ENUM_DISPLAYS_ANS</command><params>DisplayId=Display1</params></msg>";
const std::string kSubscribed = "Subscribing to \"pos/display1\": Accepted";

class DisplayFaultTest : public DisplayServiceTest {
 protected:
  // Topics as a shop has them: answers on pos/displays, requests on pos/display1.
  void Start(const std::string& mqttExtra, std::uint16_t port = 0) {
    WriteSettings("", "Topics=pos/displays,pos/display1\n" + mqttExtra, port);
    StartService();
  }
  // The longest wait of the reconnect schedule: the service's interval with its jitter.
  milliseconds LongestReconnectWait() const {
    const double seconds = FService->mqttClient->KeepAliveSettings().AutoReconnectInterval();
    return milliseconds(static_cast<int64_t>(1000 * seconds * (1 + TMqttReconnectSchedule::kJitter)));
  }
  // A dead path is noticed within half the keep-alive (the next PINGREQ) and the keep-alive.
  static milliseconds DeadPathBound() { return milliseconds(1500 * kKeepAlive) + kSlack; }
  // A station asks; the service answers on the first topic.
  void ExpectEnumerationAnswered() {
    if (!FStation) ConnectStation("pos/displays");
    const auto answers = [&] { return std::count(FStationMessages.begin(), FStationMessages.end(), kEnumAnswer); };
    const auto before = answers();
    Deliver("pos/display1", kEnumRequest);
    EXPECT_TRUE(PumpUntil([&] { return answers() > before; })) << "no answer to the enumeration request";
  }
};

TEST_F(DisplayFaultTest, ABrokerDownAtStartIsFoundWhenItComesUp) {
  FBroker.Stop();
  Start("");
  const Lines lines = LogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ((Lines{lines.end() - 3, lines.end()}), (Lines{"Connecting...", "Server unavailable.", "MQTT started"}));
  // It keeps trying on its own (the first retry comes after about a second)...
  ASSERT_TRUE(WaitForLog("Reconnecting...", 1, LongestReconnectWait() + kSlack));
  FBroker.Start();
  // ... and finds the broker at the next attempt of the schedule.
  ASSERT_TRUE(WaitForLog(kSubscribed, 1, LongestReconnectWait() + kSlack));
  EXPECT_EQ(CountLog("Server unavailable."), 1);
  EXPECT_EQ(CountLog("Reconnecting..."), 1);
  ExpectEnumerationAnswered();
}

TEST_F(DisplayFaultTest, AListenerThatNeverAnswersIsGivenUpAndTriedAgain) {
  TTcpProxy silent(0);
  Start("", silent.Port());
  const Lines lines = LogLines();
  EXPECT_EQ((Lines{lines.end() - 2, lines.end()}), (Lines{"Connecting...", "MQTT started"}));
  ASSERT_TRUE(WaitForLog("Server unavailable.", 1, TMqttClient::kConnAckTimeout + kSlack));
  ASSERT_TRUE(WaitForLog("Reconnecting...", 1, LongestReconnectWait() + kSlack));
  // The attempt that said so reaches the listener as well.
  EXPECT_TRUE(PumpUntil([&] { return silent.Accepted() >= 2; }));
  EXPECT_EQ(CountLog("Subscribing to topics"), 0);
}

TEST_F(DisplayFaultTest, APathThatGoesSilentIsNoticedAndTheServiceAnswersOnceItIsBack) {
  TTcpProxy proxy(FBroker.Port());
  Start("KeepAlive=2", proxy.Port());
  ASSERT_TRUE(WaitForLog(kSubscribed));
  ExpectEnumerationAnswered();

  proxy.Freeze();
  ASSERT_TRUE(WaitForLog("Connection lost.", 1, DeadPathBound()));
  proxy.Forward();
  // The attempt under way may have gone into the frozen path: it is given up after the CONNACK
  // time-out at the latest, and the next one gets through.
  ASSERT_TRUE(WaitForLog(kSubscribed, 2, TMqttClient::kConnAckTimeout + LongestReconnectWait() + kSlack));
  EXPECT_EQ(CountLog("Connection lost."), 1);
  ExpectEnumerationAnswered();
}

TEST_F(DisplayFaultTest, ABrokerHostThatFreezesIsNoticedAndFoundAgain) {
  Start("KeepAlive=2");
  ASSERT_TRUE(WaitForLog(kSubscribed));
  FBroker.Suspend();
  ASSERT_TRUE(WaitForLog("Connection lost.", 1, DeadPathBound()));
  FBroker.Resume();
  ASSERT_TRUE(WaitForLog(kSubscribed, 2, TMqttClient::kConnAckTimeout + LongestReconnectWait() + kSlack));
  ExpectEnumerationAnswered();
}

// One whole small packet (remaining length below 128) from the service, as hex text.
std::string ReadSmallPacket(TLoopbackPeer& peer) {
  const std::string header = peer.ReadExact(2);
  return ToHex(header + peer.ReadExact(static_cast<unsigned char>(header[1])));
}

// A broker that breaks the protocol is left, and the reconnect sends the new connection's
// SUBSCRIBE alone, not the one the old connection never got an answer for.
TEST_F(DisplayFaultTest, AProtocolViolationEndsTheConnectionAndTheOldSubscribeIsNotReplayed) {
  TLoopbackPeer fake;
  std::vector<std::string> subscribes;
  std::string extra;
  std::atomic<bool> done{false};
  fake.RunAsync([&](TLoopbackPeer& peer) {
    peer.Accept();
    ReadSmallPacket(peer);  // CONNECT
    peer.Write(FromHex("20 02 00 00"));
    subscribes.push_back(ReadSmallPacket(peer));
    peer.Write(FromHex("40 01 00"));  // a PUBACK one byte short
    peer.ReadUntilClosed();
    peer.Accept();
    ReadSmallPacket(peer);
    peer.Write(FromHex("20 02 00 00"));
    subscribes.push_back(ReadSmallPacket(peer));
    peer.Write(FromHex("90 03 00 02 00"));
    // An old SUBSCRIBE would come now, before or after the new one's answer.
    try {
      extra = ToHex(peer.ReadSome(2s));
    } catch (const ETestSupportError&) {
      // silence, as it should be
    }
    done = true;
  });
  WriteSettings("", "Topics=pos/display1", fake.Port());
  StartService();
  ASSERT_TRUE(WaitForLog(kSubscribed, 1, LongestReconnectWait() + kSlack)) << ::testing::PrintToString(LogLines());
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  fake.Join();
  EXPECT_EQ(extra, "");
  EXPECT_EQ(subscribes, (std::vector<std::string>{"82 11 00 01 00 0C 70 6F 73 2F 64 69 73 70 6C 61 79 31 00",
                                                  "82 11 00 02 00 0C 70 6F 73 2F 64 69 73 70 6C 61 79 31 00"}));
  EXPECT_EQ(CountLog("Connection lost."), 1);
  EXPECT_EQ(CountLog("Reconnecting..."), 1);
  EXPECT_EQ(CountLog("Subscribing to topics"), 2);
}

// Settings that cannot be used as written are named once at start; everything else still works.
TEST_F(DisplayFaultTest, StartNamesTheSettingsItCannotUseAndSubscribesTheRest) {
  WriteSettings("", "Pass=secret\nKeepAlive=70000\nTopics=pos/#/#,pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog(kSubscribed)) << ::testing::PrintToString(LogLines());
  const Lines lines = LogLines();
  const auto from = std::find(lines.begin(), lines.end(), "MQTT username: ");
  ASSERT_NE(from, lines.end());
  EXPECT_EQ((Lines{from, lines.end()}),
            (Lines{"MQTT username: ", "MQTT password ignored: it is only sent with a username",
                   "MQTT keep-alive setting (Mqtt.KeepAlive): 70000 refused (0 to 65535), 120 used",
                   "MQTT topic \"pos/#/#\" not subscribed: \"#\" may only stand alone as the last level",
                   "MQTT topic \"pos/#/#\" cannot carry the answers to enumeration requests: a topic name may not "
                   "contain \"+\" or \"#\"",
                   "Connecting...", "MQTT started", "Subscribing to topics", kSubscribed}));
  // The broker accepted the CONNECT (no password flag without a user) and keeps the connection.
  Deliver("pos/display1", "still listening");
  EXPECT_EQ(CountLog("Connection lost."), 0);
}

TEST_F(DisplayFaultTest, TheKeepAliveOfTheSettingsReachesTheClient) {
  struct Case {
    const char* line;
    uint16_t interval;
    bool on;
  } const cases[] = {{"", 120, true}, {"KeepAlive=0", 0, false}, {"KeepAlive=2", 2, true}};
  int started = 0;
  for (const auto& c : cases) {
    FService.reset();
    WriteSettings("", std::string("Topics=pos/display1\n") + c.line);
    StartService();
    ASSERT_TRUE(WaitForLog(kSubscribed, ++started)) << c.line;
    EXPECT_EQ(FService->mqttClient->KeepAliveSettings().KeepAliveInterval(), c.interval) << c.line;
    EXPECT_EQ(FService->mqttClient->KeepAliveSettings().KeepConnectionAlive(), c.on) << c.line;
  }
}

}  // namespace
}  // namespace kestova::test
