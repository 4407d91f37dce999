// The client against a real mosquitto started for each test on free loopback ports: messages at
// every QoS, accounts, the broker going away and coming back (the client reconnecting on its
// own, QoS 1 messages in flight delivered afterwards), keep-alive on an idle connection, and
// TLS with a certificate made for the test.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "mqtt/client.h"
#include "tests/mqtt/client_test_support.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace kestova::testing {
namespace {

using S = TMqttConnectionStatus;
using test::TBrokerOptions;
using test::TMosquittoBroker;

// A client of the broker with its recorder and log; the recorder outlives the client.
struct TBrokerClient {
  TBrokerClient(const TMosquittoBroker& ABroker, const std::string& AClientId) {
    events.Attach(*client);
    client->SetLogger(&log);
    AimClient(*client, ABroker.Host(), ABroker.Port(), AClientId);
  }
  bool Connect() {
    client->Connect(true);
    return events.WaitForStatus(S::csConnected);
  }
  // Subscribe and wait for the SUBACK; the granted QoS of the one topic.
  TMqttQoS Subscribe(const std::string& ATopic, TMqttQoS AQos) {
    const uint16_t id = client->Subscribe(ATopic, AQos);
    EXPECT_TRUE(events.WaitForReceived(TMqttPacketType::mtSUBACK, id));
    const auto acks = events.Acknowledgements();
    EXPECT_FALSE(acks.empty());
    if (acks.empty() || acks.back().Subscriptions.size() != 1) return TMqttQoS::qosRESERVED;
    EXPECT_TRUE(acks.back().Subscriptions[0].Accepted);
    return acks.back().Subscriptions[0].MaxQoS;
  }

  TRecordingLogger log;
  TClientRecorder events;
  std::unique_ptr<TMqttClient> client = std::make_unique<TMqttClient>();
};

class ClientBrokerTest : public TMainThreadTest {
 protected:
  void StartBroker(TBrokerOptions AOptions = {}) {
    FBroker = std::make_unique<TMosquittoBroker>(std::move(AOptions));
    FBroker->Start();
  }
  std::unique_ptr<TMosquittoBroker> FBroker;
};

TEST_F(ClientBrokerTest, PublishesAndReceivesAtEveryQos) {
  StartBroker();
  TBrokerClient subscriber(*FBroker, "subscriber");
  TBrokerClient publisher(*FBroker, "publisher");
  ASSERT_TRUE(subscriber.Connect());
  ASSERT_TRUE(publisher.Connect());
  const std::vector<TMqttQoS> levels = {TMqttQoS::qosAtMostOnce, TMqttQoS::qosAtLeastOnce, TMqttQoS::qosExactlyOnce};
  std::size_t expected = 0;
  for (const TMqttQoS qos : levels) {
    const std::string topic = "kestova/qos" + std::to_string(static_cast<int>(qos));
    EXPECT_EQ(subscriber.Subscribe(topic, qos), qos);
    const TMqttBytes binary = {0x00, 0xFF, 0x0A, 0x00};
    const uint16_t first = publisher.client->Publish(topic,
                                                     std::string_view("\xC5\xBE"
                                                                      "aba"),
                                                     qos, false);
    const uint16_t second = publisher.client->Publish(topic, TMqttByteView(binary), qos, false);
    EXPECT_EQ(first == 0, qos == TMqttQoS::qosAtMostOnce);
    expected += 2;
    ASSERT_TRUE(subscriber.events.WaitForMessages(expected)) << static_cast<int>(qos);
    const auto messages = subscriber.events.Messages();
    EXPECT_EQ(messages[expected - 2].Topic, topic);
    EXPECT_EQ(messages[expected - 2].Payload,
              "\xC5\xBE"
              "aba");
    EXPECT_EQ(messages[expected - 1].Payload, std::string("\x00\xFF\x0A\x00", 4));
    EXPECT_EQ(messages[expected - 1].PacketId == 0, qos == TMqttQoS::qosAtMostOnce);
    if (qos == TMqttQoS::qosAtLeastOnce) {
      EXPECT_TRUE(publisher.events.WaitForReceived(TMqttPacketType::mtPUBACK, second));
    }
    if (qos == TMqttQoS::qosExactlyOnce) {
      EXPECT_TRUE(publisher.events.WaitForReceived(TMqttPacketType::mtPUBCOMP, second));
      // The subscriber's side of QoS 2 completes too: the broker's PUBREL is answered.
      EXPECT_TRUE(subscriber.events.WaitForReceived(TMqttPacketType::mtPUBREL, messages[expected - 1].PacketId));
    }
  }
  EXPECT_EQ(subscriber.events.StrayEvents(), 0);
  EXPECT_EQ(publisher.events.StrayEvents(), 0);
  EXPECT_EQ(publisher.log.Count("PACKET FAILED"), 0);
}

TEST_F(ClientBrokerTest, AccountsAreAcceptedAndRefused) {
  TBrokerOptions options;
  options.AllowAnonymous = false;
  options.Users = {{"display", "s3cret"}};
  StartBroker(options);
  struct TCase {
    const char* User;
    const char* Password;
    S Status;
  };
  const std::vector<TCase> cases = {
      {"display", "s3cret", S::csConnected},
      {"display", "wrong", S::csConnectionRejected_ClientNotAuthorized},
      {"", "", S::csConnectionRejected_ClientNotAuthorized},
  };
  for (const TCase& c : cases) {
    TBrokerClient one(*FBroker, std::string("user-") + c.User + c.Password);
    one.client->Credentials().SetUsername(c.User);
    one.client->Credentials().SetPassword(c.Password);
    one.client->Connect(true);
    EXPECT_TRUE(one.events.WaitForReceived(TMqttPacketType::mtCONNACK)) << c.User << "/" << c.Password;
    EXPECT_EQ(one.events.StatusValues(), (std::vector<S>{S::csConnecting, c.Status})) << c.User << "/" << c.Password;
    EXPECT_EQ(one.client->IsConnected(), c.Status == S::csConnected);
  }
}

TEST_F(ClientBrokerTest, ReconnectsOnItsOwnAfterTheBrokerComesBack) {
  StartBroker();
  TBrokerClient display(*FBroker, "display");
  display.client->KeepAliveSettings().SetAutoReconnect(true);
  display.client->KeepAliveSettings().SetAutoReconnectInterval(1);
  // As the display server does: subscribe again after every connection.
  display.events.AfterConnected = [&] { display.client->Subscribe("kestova/display", TMqttQoS::qosAtMostOnce); };
  ASSERT_TRUE(display.Connect());
  ASSERT_TRUE(display.events.WaitForReceived(TMqttPacketType::mtSUBACK));

  FBroker->Stop(SIGTERM);
  ASSERT_TRUE(display.events.WaitForStatus(S::csReconnecting));
  // Attempts against the stopped broker fail and are repeated, without a new event each.
  EXPECT_TRUE(display.log.WaitFor("PING Failed", 2));
  FBroker->Restart();
  ASSERT_TRUE(display.events.WaitForStatus(S::csConnected, 2));
  EXPECT_TRUE(PumpUntil([&] { return display.events.Acknowledgements().size() == 2; }));

  const auto statuses = display.events.Statuses();
  std::vector<S> values;
  for (const TStatusEvent& event : statuses) values.push_back(event.Status);
  EXPECT_EQ(values,
            (std::vector<S>{S::csConnecting, S::csConnected, S::csConnectionLost, S::csReconnecting, S::csConnected}));
  ASSERT_EQ(statuses.size(), 5u);
  EXPECT_EQ(statuses[2].Thread, "mqtt-reader");
  EXPECT_EQ(display.events.StrayEvents(), 0);
  EXPECT_GE(display.log.Count("KEEP ALIVE - No Connection. Requesting Reconnect."), 3);

  // And it works again.
  TBrokerClient station(*FBroker, "station");
  ASSERT_TRUE(station.Connect());
  station.client->Publish("kestova/display", std::string_view("again"), TMqttQoS::qosAtMostOnce, false);
  ASSERT_TRUE(display.events.WaitForMessages(1));
  EXPECT_EQ(display.events.Messages()[0].Payload, "again");
}

TEST_F(ClientBrokerTest, Qos1MessagesInFlightWhenTheBrokerDiesAreDeliveredAfterTheReconnect) {
  StartBroker();
  TBrokerClient station(*FBroker, "station");
  station.client->KeepAliveSettings().SetAutoReconnect(true);
  station.client->KeepAliveSettings().SetAutoReconnectInterval(1);
  station.client->SetRetryIntervalForTesting(std::chrono::milliseconds(500));
  ASSERT_TRUE(station.Connect());

  // The broker stops reading (but its kernel still takes the bytes), then dies: the messages
  // are written but never acknowledged, and nothing of them reached the broker's store.
  ASSERT_EQ(::kill(FBroker->Pid(), SIGSTOP), 0);
  const int count = 5;
  std::vector<uint16_t> ids;
  for (int i = 0; i < count; ++i) {
    // Retained, so the subscriber below gets them whether it subscribes before or after the
    // station has sent them again.
    ids.push_back(station.client->Publish("held/" + std::to_string(i), std::string_view("m" + std::to_string(i)),
                                          TMqttQoS::qosAtLeastOnce, true));
  }
  EXPECT_TRUE(PumpUntil([&] {
    int sent = 0;
    for (const TMqttPacketInfo& info : station.events.Sent()) sent += info.PacketType == TMqttPacketType::mtPUBLISH;
    return sent >= count;
  }));
  FBroker->Stop(SIGKILL);
  ASSERT_TRUE(station.events.WaitForStatus(S::csReconnecting));
  FBroker->Restart();
  ASSERT_TRUE(station.events.WaitForStatus(S::csConnected, 2));
  for (uint16_t id : ids) EXPECT_TRUE(station.events.WaitForReceived(TMqttPacketType::mtPUBACK, id)) << id;

  TBrokerClient reader(*FBroker, "reader");
  ASSERT_TRUE(reader.Connect());
  reader.Subscribe("held/#", TMqttQoS::qosAtLeastOnce);
  ASSERT_TRUE(reader.events.WaitForMessages(count));
  std::vector<std::string> payloads;
  for (const TReceivedMessage& message : reader.events.Messages()) payloads.push_back(message.Payload);
  std::sort(payloads.begin(), payloads.end());
  EXPECT_EQ(payloads, (std::vector<std::string>{"m0", "m1", "m2", "m3", "m4"}));
  // They went out again with DUP set.
  int duplicates = 0;
  for (const TMqttPacketInfo& info : station.events.Sent()) {
    duplicates += info.PacketType == TMqttPacketType::mtPUBLISH && info.IsDuplicate;
  }
  EXPECT_GE(duplicates, count);
}

TEST_F(ClientBrokerTest, KeepAlivePingsHoldAnIdleConnection) {
  StartBroker();
  TBrokerClient idle(*FBroker, "idle");
  idle.client->KeepAliveSettings().SetKeepConnectionAlive(true);
  // The broker drops a client silent for 1.5 keep-alive intervals; the client pings after
  // interval + 1 s, so 4 s leaves a second of slack for the broker's coarse check.
  idle.client->KeepAliveSettings().SetKeepAliveInterval(4);
  ASSERT_TRUE(idle.Connect());
  EXPECT_TRUE(PumpUntil([&] { return idle.events.PingResponses() >= 2; }, std::chrono::seconds(20)));
  EXPECT_EQ(idle.events.PingRequests(), idle.events.PingResponses());
  EXPECT_EQ(idle.events.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnected}));
}

class ClientTlsTest : public ClientBrokerTest {
 protected:
  void SetUp() override {
    ClientBrokerTest::SetUp();
    FCertificates = test::GenerateTestCertificates(FFolder.Path());
    TBrokerOptions options;
    options.Tls = test::TBrokerTls{FCertificates.CertFile, FCertificates.KeyFile, ""};
    StartBroker(options);
  }
  test::TTempDir FFolder;
  test::TTestCertificates FCertificates;
};

TEST_F(ClientTlsTest, ConnectsWhenTheBrokersCertificateVerifies) {
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    TBrokerClient secure(*FBroker, "secure");
    secure.client->SetBrokerHostName(host);
    secure.client->SetBrokerPort(FBroker->TlsPort());
    secure.client->SetUseSSL(true);
    secure.client->TlsSettings().SetCAFile(FCertificates.CAFile);
    ASSERT_TRUE(secure.Connect()) << host;
    EXPECT_EQ(secure.Subscribe("secure/t", TMqttQoS::qosAtLeastOnce), TMqttQoS::qosAtLeastOnce);
    secure.client->Publish("secure/t", std::string_view("over TLS"), TMqttQoS::qosAtLeastOnce, false);
    ASSERT_TRUE(secure.events.WaitForMessages(1)) << host;
    EXPECT_EQ(secure.events.Messages()[0].Payload, "over TLS");
    EXPECT_EQ(secure.log.Count("TTlsStream - connecting..."), 1);
  }
}

TEST_F(ClientTlsTest, RefusesABrokerItCannotVerifyUnlessVerificationIsOff) {
  TBrokerClient untrusting(*FBroker, "untrusting");
  untrusting.client->SetBrokerPort(FBroker->TlsPort());
  untrusting.client->SetUseSSL(true);
  untrusting.client->Connect(true);  // the system's trust store does not know the test CA
  EXPECT_EQ(untrusting.events.StatusValues(),
            (std::vector<S>{S::csConnecting, S::csConnectionRejected_ServerUnavailable}));
  EXPECT_EQ(untrusting.log.Count("Exception while connecting ..."), 1);
  EXPECT_TRUE(untrusting.log.Printed("certificate verification failed"));

  TBrokerClient trusting(*FBroker, "trusting");
  trusting.client->SetBrokerPort(FBroker->TlsPort());
  trusting.client->SetUseSSL(true);
  trusting.client->TlsSettings().SetVerifyPeer(false);
  EXPECT_TRUE(trusting.Connect());
}

}  // namespace
}  // namespace kestova::testing
