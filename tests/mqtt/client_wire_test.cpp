// The client, its worker threads and its transport against a scripted broker on loopback:
// the exact bytes each operation puts on the wire, the acknowledgement flows, repetition with
// DUP and giving up, the framing of what the broker sends (zero bytes, long lengths, broken
// lengths, stalled packets), status changes and the threads they are raised on.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/client.h"
#include "mqtt/exceptions.h"
#include "mqtt/session_entries.h"
#include "tests/mqtt/client_test_support.h"
#include "tests/support/thrown_message.h"

namespace kestova::testing {
namespace {

using S = TMqttConnectionStatus;
using test::TLoopbackPeer;

class ClientWireTest : public TClientWireFixture {};

TEST_F(ClientWireTest, SendsTheConnectOfItsSettingsAndIsConnectedByConnAckZero) {
  struct TCase {
    const char* Name;
    bool Clean;
    std::function<void(TMqttClient&)> Setup;
    const char* Connect;
  };
  const std::vector<TCase> cases = {
      {"defaults", true, [](TMqttClient&) {}, "10 13 00 04 4D 51 54 54 04 02 00 78 00 07 44 69 73 70 6C 61 79"},
      {"credentials, will, no clean session, keep-alive 30", false,
       [](TMqttClient& AClient) {
         AClient.Credentials().SetUsername("u");
         AClient.Credentials().SetPassword("p");
         AClient.LastWillSettings().SetTopic("w");
         AClient.LastWillSettings().SetWillMessage("bye");
         AClient.LastWillSettings().SetRetain(true);
         AClient.LastWillSettings().SetQoS(TMqttQoS::qosAtLeastOnce);
         AClient.KeepAliveSettings().SetKeepAliveInterval(30);
       },
       "10 21 00 04 4D 51 54 54 04 EC 00 1E 00 07 44 69 73 70 6C 61 79 00 01 77 00 03 62 79 65 00 01 75 00 01 70"},
  };
  for (const TCase& c : cases) {
    TFakeBroker fake;
    TClientRecorder seen;
    TMqttClient one;
    seen.Attach(one);
    AimClient(one, fake.Host(), fake.Port());
    c.Setup(one);
    std::string connect;
    fake.Run([&](TLoopbackPeer& APeer) { connect = AcceptConnect(APeer); });
    one.Connect(c.Clean);
    EXPECT_TRUE(seen.WaitForStatus(S::csConnected)) << c.Name;
    fake.Finish();
    EXPECT_EQ(connect, c.Connect) << c.Name;
    EXPECT_TRUE(one.IsConnected()) << c.Name;
    EXPECT_EQ(seen.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnected})) << c.Name;
    EXPECT_EQ(seen.StrayEvents(), 0) << c.Name;
    EXPECT_TRUE(seen.WaitForSent(TMqttPacketType::mtCONNECT)) << c.Name;
  }
}

TEST_F(ClientWireTest, ConnAckReturnCodesBecomeStatuses) {
  const std::vector<std::pair<uint8_t, S>> cases = {
      {1, S::csConnectionRejected_InvalidProtocolVersion}, {2, S::csConnectionRejected_InvalidIdentifier},
      {3, S::csConnectionRejected_ServerUnavailable},      {4, S::csConnectionRejected_InvalidCredentials},
      {5, S::csConnectionRejected_ClientNotAuthorized},    {7, S::csNotConnected}};
  for (const auto& [code, status] : cases) {
    TFakeBroker fake;
    TClientRecorder seen;
    TMqttClient one;
    seen.Attach(one);
    AimClient(one, fake.Host(), fake.Port());
    fake.Run([&, code = code](TLoopbackPeer& APeer) { AcceptConnect(APeer, code); });
    one.Connect(true);
    fake.Finish();
    EXPECT_TRUE(seen.WaitForReceived(TMqttPacketType::mtCONNACK)) << int(code);
    EXPECT_EQ(seen.StatusValues(), (std::vector<S>{S::csConnecting, status})) << int(code);
    EXPECT_FALSE(one.IsConnected()) << int(code);
    EXPECT_THROW(one.Publish("t", std::string_view("x"), TMqttQoS::qosAtMostOnce, false), EMqttAssertionError);
  }
}

TEST_F(ClientWireTest, AnEmptyClientIdBecomesTwentyThreeRandomCharactersBeforeTheConnect) {
  FClient->SetClientID("");
  const std::string connect = ConnectAccepted();
  ASSERT_EQ(FClient->ClientID().size(), 23u);
  // Fixed part, then the identifier's length prefix 00 17 and its bytes.
  EXPECT_EQ(connect.substr(0, 42), "10 23 00 04 4D 51 54 54 04 02 00 78 00 17 ");
  EXPECT_EQ(connect.substr(42), ToHex(FClient->ClientID()));
}

TEST_F(ClientWireTest, ASecondConnectWhileConnectedChangesNothing) {
  ConnectAccepted();
  FBroker.Run([](TLoopbackPeer& APeer) { EXPECT_TRUE(StaysSilent(APeer, 300ms)); });
  FClient->Connect(true);
  FBroker.Finish();
  EXPECT_EQ(FEvents.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnected}));
}

TEST_F(ClientWireTest, PublishSubscribeAndUnsubscribeShareIdentifiersAndSendTheirBytes) {
  ConnectAccepted();
  std::vector<std::string> packets;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    for (int i = 0; i < 5; ++i) packets.push_back(ReadPacket(APeer));
  });
  EXPECT_EQ(FClient->Publish("t", std::string_view("\xC3\xA9"), TMqttQoS::qosAtMostOnce, false), 0);
  EXPECT_EQ(FClient->Publish("t", std::string_view("x"), TMqttQoS::qosAtLeastOnce, true), 1);
  EXPECT_EQ(FClient->Subscribe("a/b", TMqttQoS::qosAtMostOnce), 2);
  EXPECT_EQ(FClient->Unsubscribe("a/b"), 3);
  EXPECT_EQ(FClient->Publish("t", HexBytes("78"), TMqttQoS::qosAtLeastOnce, false), 4);
  FBroker.Finish();
  EXPECT_EQ(packets, (std::vector<std::string>{"30 05 00 01 74 C3 A9", "33 06 00 01 74 00 01 78",
                                               "82 08 00 02 00 03 61 2F 62 00", "A2 07 00 03 00 03 61 2F 62",
                                               "32 06 00 01 74 00 04 78"}));
}

TEST_F(ClientWireTest, MisuseRaisesAssertionErrorsWithTheirFixedTexts) {
  TMqttClient idle;
  const auto message = [](const std::function<void()>& ACall) { return test::ThrownMessage<EMqttError>(ACall); };
  EXPECT_EQ(message([&] { idle.Connect(true); }).rfind("Please provide the hostname of the broker", 0), 0u);
  const std::string notConnected = "This action requires a connected state";
  EXPECT_EQ(
      message([&] { idle.Publish("t", std::string_view("x"), TMqttQoS::qosAtMostOnce, false); }).rfind(notConnected, 0),
      0u);
  EXPECT_EQ(message([&] { idle.Subscribe("t", TMqttQoS::qosAtMostOnce); }).rfind(notConnected, 0), 0u);
  EXPECT_EQ(message([&] { idle.Unsubscribe("t"); }).rfind(notConnected, 0), 0u);

  ConnectAccepted();
  EXPECT_EQ(message([&] {
              FClient->Publish("a/+", std::string_view("x"), TMqttQoS::qosAtLeastOnce, false);
            }).rfind("This is not a valid topic name", 0),
            0u);
  EXPECT_EQ(message([&] {
              FClient->Publish("", std::string_view("x"), TMqttQoS::qosAtMostOnce, false);
            }).rfind("This is not a valid topic name", 0),
            0u);
  EXPECT_EQ(
      message([&] { FClient->Subscribe("a#", TMqttQoS::qosAtMostOnce); }).rfind("This is not a valid topic filter", 0),
      0u);
  EXPECT_EQ(message([&] { FClient->Unsubscribe("a/#/b"); }).rfind("This is not a valid topic filter", 0), 0u);
  EXPECT_THROW(FClient->Subscribe(TMqttStringArray{"a", "b"}, TMqttQosArray{TMqttQoS::qosAtMostOnce}),
               EMqttEncodeError);
  // The refused QoS 1 publish used identifier 1 up, the mismatched SUBSCRIBE identifier 2.
  EXPECT_EQ(FClient->Publish("t", std::string_view("x"), TMqttQoS::qosAtLeastOnce, false), 3);
  EXPECT_EQ(FClient->Version(), "1.2.0.2");
}

TEST_F(ClientWireTest, AQos1PublishEndsAtItsPubAck) {
  FClient->SetRetryIntervalForTesting(200ms);
  ConnectAccepted();
  std::string publish;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    publish = ReadPacket(APeer);
    WritePacket(APeer, "40 02 00 01");
    EXPECT_TRUE(StaysSilent(APeer, 800ms));
  });
  EXPECT_EQ(FClient->Publish("t", std::string_view("x"), TMqttQoS::qosAtLeastOnce, false), 1);
  EXPECT_TRUE(FLog.WaitFor("OUT - Packet: 1 Qos:1 - ACKNOWLEDGED"));
  FBroker.Finish();
  EXPECT_EQ(publish, "32 06 00 01 74 00 01 78");
}

TEST_F(ClientWireTest, AnUnacknowledgedQos1PublishIsRepeatedWithDupAndGivenUpAfterTenTransmissions) {
  FClient->SetRetryIntervalForTesting(100ms);
  ConnectAccepted();
  std::vector<std::string> transmissions;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    for (int i = 0; i < 10; ++i) transmissions.push_back(ReadPacket(APeer));
    EXPECT_TRUE(StaysSilent(APeer, 800ms));
  });
  FClient->Publish("t", std::string_view("x"), TMqttQoS::qosAtLeastOnce, false);
  EXPECT_TRUE(FLog.WaitFor("OUT - Packet: 1 Qos:1 - PACKET FAILED TO SEND ------------- "));
  FBroker.Finish();
  ASSERT_EQ(transmissions.size(), 10u);
  EXPECT_EQ(transmissions[0], "32 06 00 01 74 00 01 78");
  for (int i = 1; i < 10; ++i) EXPECT_EQ(transmissions[i], "3A 06 00 01 74 00 01 78") << i;
  EXPECT_EQ(FLog.Count("OUT - Packet: 1 Qos:1 - PACKET FAILED TO SEND"), 1);
  std::vector<bool> duplicates;
  for (const TMqttPacketInfo& info : FEvents.Sent()) {
    if (info.PacketType == TMqttPacketType::mtPUBLISH) duplicates.push_back(info.IsDuplicate);
  }
  EXPECT_EQ(duplicates, (std::vector<bool>{false, true, true, true, true, true, true, true, true, true}));
}

TEST_F(ClientWireTest, AQos2PublishGoesThroughPubRecPubRelPubComp) {
  FClient->SetRetryIntervalForTesting(200ms);
  ConnectAccepted();
  std::vector<std::string> packets;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    packets.push_back(ReadPacket(APeer));
    WritePacket(APeer, "50 02 00 01");
    packets.push_back(ReadPacket(APeer));
    WritePacket(APeer, "70 02 00 01");
    EXPECT_TRUE(StaysSilent(APeer, 800ms));
  });
  FClient->Publish("t", std::string_view("x"), TMqttQoS::qosExactlyOnce, false);
  EXPECT_TRUE(FLog.WaitFor("OUT - Packet: 1 Qos:1 - ACKNOWLEDGED"));
  FBroker.Finish();
  EXPECT_EQ(packets, (std::vector<std::string>{"34 06 00 01 74 00 01 78", "62 02 00 01"}));
  EXPECT_EQ(FLog.Count("OUT - Packet: 1 Qos:2 - ACKNOWLEDGED"), 1);
}

TEST_F(ClientWireTest, ReceivedQos1AndQos2PublishesAreAnsweredAndDeliveredOnReceipt) {
  // How many messages had been delivered when the PUBREL arrived.
  std::size_t deliveredBeforePubRel = 0;
  const TMqttClient::TPacketEvent record = FClient->OnPacketReceived;
  FClient->OnPacketReceived = [&](TMqttClient& ASender, const TMqttPacketInfo& AInfo) {
    if (AInfo.PacketType == TMqttPacketType::mtPUBREL) deliveredBeforePubRel = FEvents.Messages().size();
    record(ASender, AInfo);
  };
  ConnectAccepted();
  // The QoS 1 handler fails: the PUBACK is queued before it runs.
  FEvents.AfterPublish = [this] {
    if (FEvents.Messages().size() == 1) throw std::runtime_error("handler failed");
  };
  std::vector<std::string> answers;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    WritePacket(APeer, "32 06 00 01 74 00 07 61");
    answers.push_back(ReadPacket(APeer));
    WritePacket(APeer, "34 06 00 01 74 00 09 62");
    answers.push_back(ReadPacket(APeer));
    WritePacket(APeer, "62 02 00 09");
    answers.push_back(ReadPacket(APeer));
  });
  FBroker.Finish();
  EXPECT_EQ(answers, (std::vector<std::string>{"40 02 00 07", "50 02 00 09", "70 02 00 09"}));
  EXPECT_EQ(deliveredBeforePubRel, 2u);
  const auto messages = FEvents.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].PacketId, 7);
  EXPECT_EQ(messages[1].Topic, "t");
  EXPECT_EQ(messages[1].Payload, "b");
  EXPECT_EQ(FLog.Count("Failed to process incoming publish packet"), 1);
  EXPECT_EQ(FEvents.StrayEvents(), 0);
}

TEST_F(ClientWireTest, SubAckCodesPairWithTheRequestedTopics) {
  ConnectAccepted();
  std::string subscribe;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    subscribe = ReadPacket(APeer);
    WritePacket(APeer, "90 03 00 09 00");  // no request has identifier 9: no event
    WritePacket(APeer, "90 04 00 01 01 80");
  });
  EXPECT_EQ(FClient->Subscribe(TMqttStringArray{"a", "b/#"},
                               TMqttQosArray{TMqttQoS::qosAtLeastOnce, TMqttQoS::qosExactlyOnce}),
            1);
  EXPECT_TRUE(FEvents.WaitForReceived(TMqttPacketType::mtSUBACK, 1));
  FBroker.Finish();
  EXPECT_EQ(subscribe, "82 0C 00 01 00 01 61 01 00 03 62 2F 23 02");
  const auto acks = FEvents.Acknowledgements();
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].PacketId, 1);
  ASSERT_EQ(acks[0].Subscriptions.size(), 2u);
  EXPECT_EQ(acks[0].Subscriptions[0].Topic, "a");
  EXPECT_TRUE(acks[0].Subscriptions[0].Accepted);
  EXPECT_EQ(acks[0].Subscriptions[0].MaxQoS, TMqttQoS::qosAtLeastOnce);
  EXPECT_EQ(acks[0].Subscriptions[1].Topic, "b/#");
  EXPECT_FALSE(acks[0].Subscriptions[1].Accepted);
  EXPECT_EQ(acks[0].Subscriptions[1].MaxQoS, TMqttQoS::qosAtMostOnce);
}

TEST_F(ClientWireTest, PingGetsItsResponseAndAZeroFirstByteIsSkipped) {
  ConnectAccepted();
  std::string ping;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    ping = ReadPacket(APeer);
    WritePacket(APeer, "D0 00");
    WritePacket(APeer, "00 D0 00 00 00");
  });
  FClient->Ping();
  EXPECT_EQ(FEvents.PingRequests(), 1);
  EXPECT_TRUE(PumpUntil([&] { return FEvents.PingResponses() == 2; }));
  FBroker.Finish();
  EXPECT_EQ(ping, "C0 00");
  EXPECT_TRUE(FLog.WaitFor("IN - First Byte --- 00000000 (0)", 3));
  EXPECT_EQ(FEvents.Received().size(), 3u);  // CONNACK and two PINGRESP
  EXPECT_EQ(FEvents.StrayEvents(), 0);
}

TEST_F(ClientWireTest, KeepAlivePingsWhenNothingHasBeenWritten) {
  FClient->KeepAliveSettings().SetKeepConnectionAlive(true);
  FClient->KeepAliveSettings().SetKeepAliveInterval(1);
  ConnectAccepted();
  std::vector<std::string> pings;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    for (int i = 0; i < 2; ++i) {
      pings.push_back(ReadPacket(APeer));
      WritePacket(APeer, "D0 00");
    }
  });
  FBroker.Finish(20s);
  EXPECT_EQ(pings, (std::vector<std::string>{"C0 00", "C0 00"}));
  EXPECT_EQ(FLog.Count("KEEP ALIVE - No activity within the given interval."), 2);
}

TEST_F(ClientWireTest, ALongRemainingLengthAndPacketsOfWrongDirectionsAreFramed) {
  ConnectAccepted();
  const std::string payload(318, 'p');
  FBroker.Run([&](TLoopbackPeer& APeer) {
    APeer.Write(std::string("\x30\xC1\x02\x00\x01t", 6) + payload);
    WritePacket(APeer, "10 00 82 00 A2 00 C0 00 E0 00");
  });
  ASSERT_TRUE(FEvents.WaitForMessages(1));
  EXPECT_EQ(FEvents.Messages()[0].Payload, payload);
  EXPECT_TRUE(FLog.WaitFor("Received Packet with invalid Packet Type - ", 5));
  FBroker.Finish();
  EXPECT_TRUE(FLog.Count("IN - Got Remaining length --> 321") == 1);
  for (const char* type : {"mtCONNECT", "mtSUBSCRIBE", "mtUNSUBSCRIBE", "mtPINGREQ", "mtDISCONNECT"}) {
    EXPECT_EQ(FLog.Count(std::string("Received Packet with invalid Packet Type - ") + type), 1) << type;
  }
}

// MQTT 3.1.1 section 4.8: a packet that breaks the protocol closes the connection. The packets
// before it still count, nothing after it does.
TEST_F(ClientWireTest, AProtocolViolationByTheBrokerClosesTheConnection) {
  struct TCase {
    const char* Packet;
    const char* Reason;
  };
  const std::vector<TCase> cases = {
      {"F0 00", "reserved packet type (first byte 0xF0)"},
      {"05 00", "reserved packet type (first byte 0x05)"},
      {"41 02 00 01", "PUBACK with reserved flags set"},
      {"40 01 00", "PUBACK with a remaining length of 1"},
      {"40 03 00 01 00", "PUBACK with a remaining length of 3"},
      {"60 02 00 01", "PUBREL with reserved flags set"},
      {"D0 01 00", "PINGRESP with a remaining length of 1"},
      {"20 02 02 00", "CONNACK with reserved bits set"},
      {"90 02 00 01", "SUBACK without return codes"},
      {"90 03 00 01 03", "SUBACK with a reserved return code"},
      {"36 06 00 01 74 00 01 78", "PUBLISH with QoS 3"},
      {"30 05 00 09 74 78 78", "PUBLISH whose topic is longer than the packet"},
      {"30 04 00 01 2B 78", "no valid topic name (a topic name may not contain"},
      {"30 05 00 02 C3 28 78", "no valid topic name (it is not valid UTF-8)"},
      {"30 03 00 00 78", "no valid topic name (it is empty)"},
      {"32 04 00 01 74 00", "PUBLISH without its packet identifier"},
      {"32 05 00 01 74 00 00", "PUBLISH with packet identifier 0"},
  };
  for (const TCase& c : cases) {
    TScriptedPair pair;
    std::string rest;
    pair.Fake.Run([&](TLoopbackPeer& APeer) {
      AcceptConnect(APeer);
      WritePacket(APeer, std::string("D0 00 ") + c.Packet + " D0 00");
      rest = APeer.ReadUntilClosed();
    });
    pair.Client.Connect(true);
    EXPECT_TRUE(pair.Seen.WaitForStatus(S::csConnectionLost)) << c.Packet;
    pair.Fake.Finish();
    EXPECT_EQ(rest, "") << c.Packet;
    EXPECT_EQ(pair.Seen.PingResponses(), 1) << c.Packet;
    EXPECT_EQ(pair.Log.Count("IN - Read exception"), 1) << c.Packet;
    EXPECT_TRUE(pair.Log.Printed(c.Reason)) << c.Packet;
    EXPECT_TRUE(pair.Seen.Messages().empty()) << c.Packet;
  }
}

TEST_F(ClientWireTest, ABrokenFourthLengthByteClosesTheConnectionOnTheReaderThread) {
  ConnectAccepted();
  std::string rest;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    WritePacket(APeer, "D0 00 30 FF FF FF FF 05");
    rest = APeer.ReadUntilClosed();
  });
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost));
  FBroker.Finish();
  EXPECT_EQ(rest, "");
  EXPECT_EQ(FEvents.PingResponses(), 1);  // the packet before the broken one still counts
  EXPECT_EQ(FLog.Count("IN - Read exception"), 1);
  const auto statuses = FEvents.Statuses();
  ASSERT_EQ(statuses.size(), 3u);
  EXPECT_FALSE(statuses[2].OnMainThread);
  EXPECT_EQ(statuses[2].Thread, "mqtt-reader");
  EXPECT_FALSE(FClient->IsConnected());
}

TEST_F(ClientWireTest, APacketWhoseRestNeverComesClosesTheConnectionAfterTheReadTimeout) {
  ConnectAccepted();
  std::string rest;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    WritePacket(APeer, "30 05 00 01");
    rest = APeer.ReadUntilClosed(15s);
  });
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost, 1, 15s));
  FBroker.Finish();
  EXPECT_EQ(rest, "");
  EXPECT_EQ(FLog.Count("IN - Read exception"), 1);
  EXPECT_TRUE(FEvents.Messages().empty());
}

TEST_F(ClientWireTest, DisconnectSendsDisconnectAndReportsLostThenNotConnected) {
  ConnectAccepted();
  std::string rest;
  FBroker.Run([&](TLoopbackPeer& APeer) { rest = APeer.ReadUntilClosed(); });
  FClient->Disconnect();
  FBroker.Finish();
  EXPECT_EQ(rest, std::string("\xE0\x00", 2));
  const auto statuses = FEvents.Statuses();
  ASSERT_EQ(statuses.size(), 4u);
  EXPECT_FALSE(statuses[2].Connected);
  EXPECT_EQ(statuses[2].Status, S::csConnectionLost);
  EXPECT_TRUE(statuses[2].OnMainThread);
  EXPECT_EQ(statuses[3].Status, S::csNotConnected);
  EXPECT_TRUE(FEvents.WaitForSent(TMqttPacketType::mtDISCONNECT));
  // Not connected any more: a second Disconnect does nothing.
  FClient->Disconnect();
  EXPECT_EQ(FEvents.Statuses().size(), 4u);
}

TEST_F(ClientWireTest, DestroyingAConnectedClientSendsNoDisconnectAndRaisesNothing) {
  ConnectAccepted();
  std::string rest;
  FBroker.Run([&](TLoopbackPeer& APeer) { rest = APeer.ReadUntilClosed(); });
  FClient.reset();
  FBroker.Finish();
  EXPECT_EQ(rest, "");
  EXPECT_EQ(FEvents.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnected}));
  EXPECT_EQ(FLog.Count("Thread Stopped"), 3);
}

// A first connect that cannot reach the broker is reported; with AutoReconnect (only then) the
// client goes on trying on its schedule, the first retry after about 1 s.
TEST_F(ClientWireTest, ARefusedFirstConnectIsReportedAndRetriedOnlyWithAutoReconnect) {
  for (const bool autoReconnect : {false, true}) {
    TScriptedPair pair;
    TMqttClient& one = pair.Client;
    TClientRecorder& seen = pair.Seen;
    TRecordingLogger& seenLog = pair.Log;
    one.SetBrokerPort(test::FreeLoopbackPort());
    one.KeepAliveSettings().SetAutoReconnect(autoReconnect);
    one.KeepAliveSettings().SetAutoReconnectInterval(1);
    one.Connect(true);
    EXPECT_EQ(seen.StatusValues(), (std::vector<S>{S::csConnecting, S::csConnectionRejected_ServerUnavailable}));
    EXPECT_EQ(seenLog.Count("Exception while connecting ..."), 1);
    EXPECT_EQ(seenLog.Count("Failed to connect"), 1);
    if (autoReconnect) {
      // Failed automatic attempts keep the status csReconnecting without a new event each.
      EXPECT_TRUE(seenLog.WaitFor("PING Failed", 2));
      EXPECT_EQ(seen.StatusValues(),
                (std::vector<S>{S::csConnecting, S::csConnectionRejected_ServerUnavailable, S::csReconnecting}));
      EXPECT_GE(seenLog.Count("KEEP ALIVE - No Connection. Requesting Reconnect."), 2);
    } else {
      // Longer than the first wait of the schedule with its jitter.
      PumpFor(1500ms);
      EXPECT_EQ(seen.Statuses().size(), 2u);
      EXPECT_EQ(seenLog.Count("KEEP ALIVE - No Connection. Requesting Reconnect."), 0);
    }
  }
}

TEST_F(ClientWireTest, AfterAReconnectTheConnectGoesFirstAndUnacknowledgedPacketsFollowWithDup) {
  FClient->SetRetryIntervalForTesting(100ms);
  FClient->KeepAliveSettings().SetAutoReconnect(true);
  FClient->KeepAliveSettings().SetAutoReconnectInterval(1);
  ConnectAccepted();
  std::string first, reconnect, repeated;
  FBroker.Run([&](TLoopbackPeer& APeer) {
    first = ReadPacket(APeer);
    APeer.CloseClient();
    reconnect = AcceptConnect(APeer);
    repeated = ReadPacket(APeer);
    WritePacket(APeer, "40 02 00 01");
  });
  FClient->Publish("t", std::string_view("x"), TMqttQoS::qosAtLeastOnce, false);
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost));
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 2));
  EXPECT_TRUE(FLog.WaitFor("OUT - Packet: 1 Qos:1 - ACKNOWLEDGED"));
  FBroker.Finish();
  EXPECT_EQ(first, "32 06 00 01 74 00 01 78");
  // The reconnect never asks for a clean session (flags 00).
  EXPECT_EQ(reconnect, "10 13 00 04 4D 51 54 54 04 00 00 78 00 07 44 69 73 70 6C 61 79");
  EXPECT_EQ(repeated, "3A 06 00 01 74 00 01 78");
  EXPECT_EQ(FEvents.StatusValues(),
            (std::vector<S>{S::csConnecting, S::csConnected, S::csConnectionLost, S::csReconnecting, S::csConnected}));
  EXPECT_EQ(FLog.Count("KEEP ALIVE - No Connection. Requesting Reconnect."), 1);
  EXPECT_EQ(FEvents.StrayEvents(), 0);
}

TEST_F(ClientWireTest, AFailingConnectionLostHandlerDoesNotStopTheReconnect) {
  FClient->KeepAliveSettings().SetAutoReconnect(true);
  FClient->KeepAliveSettings().SetAutoReconnectInterval(1);
  const TMqttClient::TConnectedStatusChangedEvent record = FClient->OnConnectedStatusChanged;
  FClient->OnConnectedStatusChanged = [&](TMqttClient& ASender, bool AConnected, TMqttConnectionStatus AStatus) {
    record(ASender, AConnected, AStatus);
    if (AStatus == S::csConnectionLost) throw std::runtime_error("the handler failed");
  };
  ConnectAccepted();
  FBroker.Run([&](TLoopbackPeer& APeer) {
    APeer.CloseClient();
    AcceptConnect(APeer);
  });
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost));
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnected, 2));
  FBroker.Finish();
  EXPECT_TRUE(FLog.WaitFor("IN - Read exception"));
  EXPECT_EQ(FLog.Count("Thread iteration failed"), 0);
}

// The report of a connection that went down can come late (its status handler runs on the
// reader thread); a connection opened meanwhile must keep its threads running.
TEST_F(ClientWireTest, ALateReportOfTheOldConnectionDoesNotPauseTheNewOne) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  const TMqttClient::TConnectedStatusChangedEvent record = FClient->OnConnectedStatusChanged;
  FClient->OnConnectedStatusChanged = [&, released](TMqttClient& ASender, bool AConnected,
                                                    TMqttConnectionStatus AStatus) {
    record(ASender, AConnected, AStatus);
    if (AStatus == S::csConnectionLost) released.wait();
  };
  ConnectAccepted();
  std::atomic<bool> connectRead{false};
  std::promise<void> oldReportDone;
  std::future<void> oldReportDoneSeen = oldReportDone.get_future();
  FBroker.Run([&](TLoopbackPeer& APeer) {
    APeer.CloseClient();
    APeer.Accept();
    ReadPacket(APeer);
    connectRead = true;
    TestSignal().Signal();
    EXPECT_EQ(oldReportDoneSeen.wait_for(kGenerous), std::future_status::ready);
    WritePacket(APeer, "20 02 00 00");
  });
  ASSERT_TRUE(FEvents.WaitForStatus(S::csConnectionLost));
  const int disconnecting = FLog.Count("CLIENT- Disconnecting");
  FClient->Connect(false);  // while the old connection's report is still running
  ASSERT_TRUE(PumpUntil([&] { return connectRead.load(); }));
  release.set_value();
  EXPECT_TRUE(FLog.WaitFor("CLIENT- Disconnecting", disconnecting + 1));
  oldReportDone.set_value();
  EXPECT_TRUE(FEvents.WaitForStatus(S::csConnected, 2));
  FBroker.Finish();
  EXPECT_TRUE(FClient->IsConnected());
}

TEST_F(ClientWireTest, TheWriterDropsAnEntryWithQos3AndGoesOn) {
  ConnectAccepted();
  std::string next;
  FBroker.Run([&](TLoopbackPeer& APeer) { next = ReadPacket(APeer); });
  // No operation of the client queues such an entry; a corrupted one must not stop the writer.
  FClient->Session().QueueOutgoingPacket(std::make_unique<TQueuedOutPacket>(
      7, TMqttQoS::qosRESERVED, TMqttPacketType::mtPUBLISH, HexBytes("36 06 00 01 74 00 07 78")));
  FClient->Publish("t", std::string_view("y"), TMqttQoS::qosAtMostOnce, false);
  FBroker.Finish();
  EXPECT_EQ(next, "30 04 00 01 74 79");
  EXPECT_EQ(FLog.Count("Invalid Qos Level"), 1);
}

}  // namespace
}  // namespace kestova::testing
