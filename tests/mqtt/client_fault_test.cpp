// The client heals itself after the faults a counter meets: a broker that is not up yet at the
// first connect, a listener that accepts and never answers, a path that goes silent (frozen in
// a proxy) or breaks, and a broker host that freezes (SIGSTOP). Real mosquitto, a real proxy;
// every time bound is derived from the settings under test (keep-alive, reconnect interval,
// CONNACK time-out) and the schedule's jitter, plus a margin for a loaded machine.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "mqtt/client.h"
#include "mqtt/reconnect_schedule.h"
#include "tests/mqtt/client_test_support.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/tcp_proxy.h"

namespace kestova::testing {
namespace {

using S = TMqttConnectionStatus;
using std::chrono::milliseconds;
using std::chrono::seconds;

// What a loaded machine may add to any bound (thread switches, a broker start).
constexpr milliseconds kSlack{3000};
constexpr uint16_t kReconnectInterval = 1;  // seconds
constexpr uint16_t kKeepAlive = 2;          // seconds
constexpr milliseconds kConnAckTimeout{1000};

// The longest wait of the schedule, with its jitter.
milliseconds LongestReconnectWait() {
  return milliseconds(static_cast<int64_t>(1000 * kReconnectInterval * (1 + TMqttReconnectSchedule::kJitter)));
}

// A dead path is found within half the keep-alive (the next PINGREQ) plus the keep-alive (its
// answer), counted from the last packet received.
milliseconds DeadPathBound() { return seconds(kKeepAlive) * 3 / 2 + kSlack; }

class ClientFaultTest : public TMainThreadTest {
 protected:
  void Aim(const std::string& AHost, uint16_t APort) {
    FEvents.Attach(*FClient);
    FClient->SetLogger(&FLog);
    AimClient(*FClient, AHost, APort);
    FClient->KeepAliveSettings().SetAutoReconnect(true);
    FClient->KeepAliveSettings().SetAutoReconnectInterval(kReconnectInterval);
    FClient->KeepAliveSettings().SetKeepConnectionAlive(true);
    FClient->KeepAliveSettings().SetKeepAliveInterval(kKeepAlive);
    FClient->SetConnAckTimeoutForTesting(kConnAckTimeout);
  }

  test::TMosquittoBroker FBroker;
  TRecordingLogger FLog;
  TClientRecorder FEvents;
  std::unique_ptr<TMqttClient> FClient = std::make_unique<TMqttClient>();
};

TEST_F(ClientFaultTest, ABrokerThatComesUpAfterTheFirstConnectIsFoundAtTheNextAttempt) {
  FBroker.ChoosePorts();
  Aim(FBroker.Host(), FBroker.Port());
  FClient->Connect(true);
  EXPECT_EQ(FEvents.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnectionRejected_ServerUnavailable}));
  ASSERT_TRUE(FLog.WaitFor("PING Failed", 1, LongestReconnectWait() + kSlack));
  FBroker.Start();
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 1, LongestReconnectWait() + kSlack));
  EXPECT_EQ(FEvents.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnectionRejected_ServerUnavailable,
                                                    S::csReconnecting, S::csConnected}));
  EXPECT_EQ(FEvents.StrayEvents(), 0);
}

TEST_F(ClientFaultTest, AListenerThatNeverAnswersIsGivenUpAfterTheConnAckTimeoutAndTriedAgain) {
  test::TTcpProxy silent(0);
  Aim(silent.Host(), silent.Port());
  const auto start = std::chrono::steady_clock::now();
  FClient->Connect(true);
  EXPECT_EQ(FEvents.StatusValues(), (std::vector<S>{S::csConnecting}));
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionRejected_ServerUnavailable, 1, kConnAckTimeout + kSlack));
  EXPECT_GE(std::chrono::steady_clock::now() - start, kConnAckTimeout);
  // Each further attempt waits for its CONNACK as long, after the schedule's wait.
  ASSERT_TRUE(
      PumpUntil([&] { return silent.Accepted() >= 3; }, 2 * (kConnAckTimeout + LongestReconnectWait()) + kSlack));
  ASSERT_TRUE(FLog.WaitFor("CLIENT- No CONNACK in time. Closing the connection.", 2));
  EXPECT_EQ(FEvents.StatusValues(),
            (std::vector<S>{S::csConnecting, S::csConnectionRejected_ServerUnavailable, S::csReconnecting}));
}

TEST_F(ClientFaultTest, AFrozenPathIsNoticedByTheKeepAliveAndACutOneAtOnce) {
  FBroker.Start();
  test::TTcpProxy proxy(FBroker.Port());
  Aim(proxy.Host(), proxy.Port());
  FClient->Connect(true);
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected));
  // Idle for two keep-alive intervals: the pings hold the connection.
  PumpFor(seconds(2 * kKeepAlive));
  ASSERT_EQ(FEvents.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnected}));
  EXPECT_GE(FEvents.PingResponses(), 2);

  proxy.Freeze();
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost, 1, DeadPathBound()));
  EXPECT_EQ(FLog.Count("CLIENT- No answer to PINGREQ within the keep-alive interval. Closing the connection."), 1);
  // Attempts through the frozen path get no CONNACK; once it thaws, one gets through.
  ASSERT_TRUE(FLog.WaitFor("CLIENT- No CONNACK in time.", 1, kConnAckTimeout + LongestReconnectWait() + kSlack));
  proxy.Forward();
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 2, kConnAckTimeout + LongestReconnectWait() + kSlack));

  proxy.Cut();
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost, 2));
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 3, LongestReconnectWait() + kSlack));
  EXPECT_EQ(FEvents.StrayEvents(), 0);
}

TEST_F(ClientFaultTest, ABrokerStoppedWithSigstopIsNoticedAndFoundAgainAfterSigcont) {
  FBroker.Start();
  Aim(FBroker.Host(), FBroker.Port());
  FClient->Connect(true);
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected));
  FBroker.Suspend();
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost, 1, DeadPathBound()));
  FBroker.Resume();
  // The attempt in progress may be one the broker took before it stopped: it waits for the
  // CONNACK time-out at most, then the next attempt connects.
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 2, kConnAckTimeout + LongestReconnectWait() + kSlack));
}

}  // namespace
}  // namespace kestova::testing
