// What the client puts on the wire when it (re)connects and what a received packet may make it
// do, against a scripted broker: no password without a user name and no will flags without a
// will, no SUBSCRIBE of an old connection replayed after a reconnect, nothing of the previous
// session after a clean-session connect, and a repeated QoS 2 message delivered once.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "mqtt/client.h"
#include "tests/mqtt/client_test_support.h"

namespace kestova::testing {
namespace {

using S = TMqttConnectionStatus;
using test::TLoopbackPeer;

class ClientRulesTest : public TClientWireFixture {};

// MQTT-3.1.2-22: no password without a user name; MQTT-3.1.2-13/-15: no will QoS or retain
// without a will. Either would make a broker refuse every CONNECT.
TEST_F(ClientRulesTest, FlagsTheConnectMayNotCarryAreLeftOut) {
  struct TCase {
    const char* Name;
    std::function<void(TMqttClient&)> Setup;
    const char* Connect;
  };
  const char* plain = "10 13 00 04 4D 51 54 54 04 02 00 78 00 07 44 69 73 70 6C 61 79";
  const std::vector<TCase> cases = {
      {"a password without a user name", [](TMqttClient& AClient) { AClient.Credentials().SetPassword("pw"); }, plain},
      {"a password with a blank user name",
       [](TMqttClient& AClient) {
         AClient.Credentials().SetUsername(" ");
         AClient.Credentials().SetPassword("pw");
       },
       plain},
      {"will QoS and retain without a will topic",
       [](TMqttClient& AClient) {
         AClient.LastWillSettings().SetQoS(TMqttQoS::qosExactlyOnce);
         AClient.LastWillSettings().SetRetain(true);
         AClient.LastWillSettings().SetWillMessage("bye");
       },
       plain},
      {"a user name with its password",
       [](TMqttClient& AClient) {
         AClient.Credentials().SetUsername("u");
         AClient.Credentials().SetPassword("p");
       },
       "10 19 00 04 4D 51 54 54 04 C2 00 78 00 07 44 69 73 70 6C 61 79 00 01 75 00 01 70"},
  };
  for (const TCase& c : cases) {
    TScriptedPair pair;
    c.Setup(pair.Client);
    std::string connect;
    pair.Fake.Run([&](TLoopbackPeer& APeer) { connect = AcceptConnect(APeer); });
    pair.Client.Connect(true);
    EXPECT_TRUE(pair.Seen.WaitForStatus(S::csConnected)) << c.Name;
    pair.Fake.Finish();
    EXPECT_EQ(connect, c.Connect) << c.Name;
  }
}

// A SUBSCRIBE the broker never answered is not sent again on the next connection (MQTT 3.1.1
// repeats only PUBLISH and PUBREL); the new connection's own goes out alone.
TEST_F(ClientRulesTest, AReconnectDoesNotReplayTheSubscribeOfTheOldConnection) {
  FClient->KeepAliveSettings().SetAutoReconnect(true);
  FClient->KeepAliveSettings().SetAutoReconnectInterval(1);
  FClient->SetRetryIntervalForTesting(100ms);
  FEvents.AfterConnected = [&] { FClient->Subscribe("a/b", TMqttQoS::qosAtMostOnce); };
  std::vector<std::string> packets;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    AcceptConnect(APeer);
    packets.push_back(ReadPacket(APeer));
    APeer.CloseClient();
    AcceptConnect(APeer);
    packets.push_back(ReadPacket(APeer));
    WritePacket(APeer, "90 03 00 02 00");
    // Longer than the retry interval: an old SUBSCRIBE still in flight would come now.
    EXPECT_TRUE(StaysSilent(APeer, 500ms));
  });
  FClient->Connect(true);
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 2));
  FBroker.Finish();
  EXPECT_EQ(packets, (std::vector<std::string>{"82 08 00 01 00 03 61 2F 62 00", "82 08 00 02 00 03 61 2F 62 00"}));
  const auto acks = FEvents.Acknowledgements();
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].PacketId, 2);
  EXPECT_EQ(FLog.Count("OUT - Packet: 1 dropped: queued for an earlier connection"), 1);
}

// A clean-session connect starts from nothing: the unacknowledged PUBLISH of the previous
// session is not sent again (a non-clean reconnect repeats it, see the wire tests).
TEST_F(ClientRulesTest, ACleanSessionConnectDropsWhatThePreviousSessionLeftInFlight) {
  FClient->SetRetryIntervalForTesting(100ms);
  ConnectAccepted();
  std::vector<std::string> packets;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    packets.push_back(ReadPacket(APeer));
    packets.push_back(ToHex(APeer.ReadUntilClosed()));
    AcceptConnect(APeer);
    packets.push_back(ReadPacket(APeer));
    WritePacket(APeer, "40 02 00 02");
    EXPECT_TRUE(StaysSilent(APeer, 500ms));
  });
  EXPECT_EQ(FClient->Publish("t", std::string_view("x"), TMqttQoS::qosAtLeastOnce, false), 1);
  ASSERT_TRUE(FEvents.WaitForSent(TMqttPacketType::mtPUBLISH, 1));
  FClient->Disconnect();
  FClient->Connect(true);
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 2));
  EXPECT_EQ(FClient->Publish("t", std::string_view("y"), TMqttQoS::qosAtLeastOnce, false), 2);
  FBroker.Finish();
  EXPECT_EQ(packets, (std::vector<std::string>{"32 06 00 01 74 00 01 78", "E0 00", "32 06 00 01 74 00 02 79"}));
}

// MQTT-4.3.3-2: a QoS 2 message repeated while its PUBREL is awaited is answered again but
// delivered once; after the PUBREL its identifier starts a new message.
TEST_F(ClientRulesTest, ARepeatedQos2MessageIsDeliveredOnce) {
  ConnectAccepted();
  std::vector<std::string> answers;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    WritePacket(APeer, "34 06 00 01 74 00 09 62");
    answers.push_back(ReadPacket(APeer));
    WritePacket(APeer, "3C 06 00 01 74 00 09 62");
    answers.push_back(ReadPacket(APeer));
    WritePacket(APeer, "62 02 00 09");
    answers.push_back(ReadPacket(APeer));
    WritePacket(APeer, "34 06 00 01 74 00 09 63");
    answers.push_back(ReadPacket(APeer));
  });
  FBroker.Finish();
  EXPECT_EQ(answers, (std::vector<std::string>{"50 02 00 09", "50 02 00 09", "70 02 00 09", "50 02 00 09"}));
  ASSERT_TRUE(FEvents.WaitForMessages(2));
  const auto messages = FEvents.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].Payload, "b");
  EXPECT_EQ(messages[1].Payload, "c");
}

}  // namespace
}  // namespace kestova::testing
