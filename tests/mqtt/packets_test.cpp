#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "mqtt/exceptions.h"
#include "mqtt/packets.h"
#include "tests/support/hex.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ByteVector;
using test::HexBytes;
using test::ThrownMessage;
using test::ToHex;

struct TEncodingCase {
  const char* Name;
  std::function<std::unique_ptr<TMqttPacket>()> Build;
  const char* Wire;
};

std::unique_ptr<TMqttPacket> DisplayConnect() {
  auto connect = std::make_unique<TMqttConnectPacket>("Display");
  connect->SetCleanSession(true);
  connect->SetKeepAlive(120);
  return connect;
}

TEST(PacketEncoding, WireBytesOfEveryBuiltPacket) {
  const TEncodingCase cases[] = {
      {"CONNECT Display", DisplayConnect, "10 13 00 04 4D 51 54 54 04 02 00 78 00 07 44 69 73 70 6C 61 79"},
      {"CONNECT empty id, no clean session", [] { return std::make_unique<TMqttConnectPacket>(""); },
       "10 0C 00 04 4D 51 54 54 04 00 00 00 00 00"},
      {"CONNACK",
       [] {
         return std::make_unique<TMqttConnAckPacket>(true, TMqttConnectReturnCode::rcConRejected_ClientNotAuthorized);
       },
       "20 02 01 05"},
      {"PINGREQ", [] { return std::make_unique<TMqttPingRequestPacket>(); }, "C0 00"},
      {"PINGRESP", [] { return std::make_unique<TMqttPingRespPacket>(); }, "D0 00"},
      {"DISCONNECT", [] { return std::make_unique<TMqttDisconnectPacket>(); }, "E0 00"},
      {"PUBREL 1", [] { return std::make_unique<TMqttPubRelPacket>(1); }, "62 02 00 01"},
      {"PUBACK 0 has no identifier", [] { return std::make_unique<TMqttPubAckPacket>(0); }, "40 00"},
      {"PUBACK 0x1234", [] { return std::make_unique<TMqttPubAckPacket>(0x1234); }, "40 02 12 34"},
      {"PUBREC 7", [] { return std::make_unique<TMqttPubRecPacket>(7); }, "50 02 00 07"},
      {"PUBCOMP 7", [] { return std::make_unique<TMqttPubCompPacket>(7); }, "70 02 00 07"},
      {"UNSUBACK 9", [] { return std::make_unique<TMqttUnsubAckPacket>(9); }, "B0 02 00 09"},
      {"SUBSCRIBE a/b QoS 0",
       [] {
         return std::make_unique<TMqttSubscribePacket>(1, TMqttStringArray{"a/b"},
                                                       TMqttQosArray{TMqttQoS::qosAtMostOnce});
       },
       "82 08 00 01 00 03 61 2F 62 00"},
      {"SUBSCRIBE two topics",
       [] {
         return std::make_unique<TMqttSubscribePacket>(
             2, TMqttStringArray{"a", "b/#"}, TMqttQosArray{TMqttQoS::qosAtLeastOnce, TMqttQoS::qosExactlyOnce});
       },
       "82 0C 00 02 00 01 61 01 00 03 62 2F 23 02"},
      {"SUBSCRIBE no topics",
       [] { return std::make_unique<TMqttSubscribePacket>(3, TMqttStringArray{}, TMqttQosArray{}); }, "82 02 00 03"},
      {"UNSUBSCRIBE",
       [] {
         return std::make_unique<TMqttUnSubscribePacket>(2, TMqttStringArray{"a", "bc"});
       },
       "A2 09 00 02 00 01 61 00 02 62 63"},
      {"PUBLISH QoS 0",
       [] { return std::make_unique<TMqttPublishPacket>(0, "t", ByteVector("x"), TMqttQoS::qosAtMostOnce, false); },
       "30 04 00 01 74 78"},
      {"PUBLISH QoS 0 ignores an identifier",
       [] { return std::make_unique<TMqttPublishPacket>(9, "t", ByteVector("x"), TMqttQoS::qosAtMostOnce, false); },
       "30 04 00 01 74 78"},
      {"PUBLISH QoS 1 retained",
       [] { return std::make_unique<TMqttPublishPacket>(5, "t", ByteVector("x"), TMqttQoS::qosAtLeastOnce, true); },
       "33 06 00 01 74 00 05 78"},
      {"PUBLISH QoS 2 identifier 0 still written",
       [] { return std::make_unique<TMqttPublishPacket>(0, "t", TMqttBytes{}, TMqttQoS::qosExactlyOnce, false); },
       "34 05 00 01 74 00 00"},
      {"PUBLISH UTF-8 topic and payload",
       [] {
         return std::make_unique<TMqttPublishPacket>(0, "\xC3\xA9", ByteVector("\xC3\xA9"), TMqttQoS::qosAtMostOnce,
                                                     false);
       },
       "30 06 00 02 C3 A9 C3 A9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ToHex(c.Build()->GetBytes()), c.Wire);
  }
}

TEST(PacketEncoding, LongBodyGetsAMultiByteRemainingLength) {
  const TMqttPublishPacket publish(0, "t", TMqttBytes(200, 0xAB), TMqttQoS::qosAtMostOnce, false);
  const TMqttBytes bytes = publish.GetBytes();
  ASSERT_EQ(bytes.size(), 1u + 2u + 203u);
  EXPECT_EQ(ToHex(TMqttByteView(bytes).first(6)), "30 CB 01 00 01 74");
  EXPECT_EQ(bytes.back(), 0xAB);
}

// CONNECT flags byte and payload for the credential and will combinations.
struct TConnectCase {
  const char* Name;
  std::function<void(TMqttConnectPacket&)> Configure;
  uint8_t Flags;
  const char* Payload;  // after the 10-byte variable header
};

TEST(PacketEncoding, ConnectFlagsAndPayloadFollowTheTrimmedFields) {
  const TConnectCase cases[] = {
      {"blank will topic sets no will and writes no will fields",
       [](TMqttConnectPacket& p) {
         p.SetWillTopic("   ");
         p.SetWillMessage("bye");
       },
       0x00, "00 01 63"},
      {"password without user name: bit 6 only, after the client id",
       [](TMqttConnectPacket& p) { p.SetPassword("pw"); }, 0x40, "00 01 63 00 02 70 77"},
      {"user name without password: bit 7 only", [](TMqttConnectPacket& p) { p.SetUserName("pos"); }, 0x80,
       "00 01 63 00 03 70 6F 73"},
      {"user name and password",
       [](TMqttConnectPacket& p) {
         p.SetUserName("u");
         p.SetPassword("p");
       },
       0xC0, "00 01 63 00 01 75 00 01 70"},
      {"will with empty message is still written", [](TMqttConnectPacket& p) { p.SetWillTopic("w"); }, 0x04,
       "00 01 63 00 01 77 00 00"},
      {"will QoS 1 retained with credentials: will fields before user name",
       [](TMqttConnectPacket& p) {
         p.SetCleanSession(true);
         p.SetWillTopic("w");
         p.SetWillMessage("m");
         p.SetWillQoS(TMqttQoS::qosAtLeastOnce);
         p.SetWillRetain(true);
         p.SetUserName("u");
         p.SetPassword("p");
       },
       0xEE, "00 01 63 00 01 77 00 01 6D 00 01 75 00 01 70"},
      {"will QoS and retain are written without a will topic",
       [](TMqttConnectPacket& p) {
         p.SetWillQoS(TMqttQoS::qosExactlyOnce);
         p.SetWillRetain(true);
       },
       0x30, "00 01 63"},
      {"blanks and control characters around values are dropped",
       [](TMqttConnectPacket& p) {
         p.SetUserName(" \tu s\r\n");
         p.SetWillTopic("\x01w ");
         p.SetWillMessage(" m ");
       },
       0x84, "00 01 63 00 01 77 00 03 20 6D 20 00 03 75 20 73"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMqttConnectPacket connect("c");
    c.Configure(connect);
    const TMqttBytes bytes = connect.GetBytes();
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(ToHex(TMqttByteView(bytes).subspan(2, 7)), "00 04 4D 51 54 54 04");
    EXPECT_EQ(bytes[9], c.Flags) << ToHex(bytes);
    EXPECT_EQ(connect.ConnectFlags().Value(), c.Flags);
    EXPECT_EQ(ToHex(TMqttByteView(bytes).subspan(12)), c.Payload);
    EXPECT_EQ(bytes[1], bytes.size() - 2);
  }
}

TEST(PacketEncoding, ConnectFlagsReadBackFromTheirBits) {
  struct TFlag {
    const char* Name;
    std::function<void(TMqttConnectFlags&, bool)> Set;
    std::function<bool(const TMqttConnectFlags&)> Get;
    uint8_t Bit;
  };
  const TFlag flags[] = {
      {"CleanSession", &TMqttConnectFlags::SetCleanSession, &TMqttConnectFlags::CleanSession, 0x02},
      {"WillFlag", &TMqttConnectFlags::SetWillFlag, &TMqttConnectFlags::WillFlag, 0x04},
      {"WillRetain", &TMqttConnectFlags::SetWillRetain, &TMqttConnectFlags::WillRetain, 0x20},
      {"HasUserName", &TMqttConnectFlags::SetHasUserName, &TMqttConnectFlags::HasUserName, 0x80},
      {"HasPassword", &TMqttConnectFlags::SetHasPassword, &TMqttConnectFlags::HasPassword, 0x40},
  };
  for (const auto& f : flags) {
    SCOPED_TRACE(f.Name);
    TMqttConnectFlags byte(0x00);
    f.Set(byte, true);
    EXPECT_EQ(byte.Value(), f.Bit);
    EXPECT_TRUE(f.Get(byte));
    TMqttConnectFlags full(0xFF);
    f.Set(full, false);
    EXPECT_EQ(full.Value(), 0xFF & ~f.Bit);
    EXPECT_FALSE(f.Get(full));
  }
  TMqttConnectFlags qos(0xFF);
  qos.SetWillQoS(TMqttQoS::qosAtMostOnce);
  EXPECT_EQ(qos.Value(), 0xE7);
  qos.SetWillQoS(TMqttQoS::qosExactlyOnce);
  EXPECT_EQ(qos.WillQoS(), TMqttQoS::qosExactlyOnce);
}

TEST(PacketEncoding, RefusesTextFieldsThatCannotBeEncoded) {
  const std::string tooLong(65536, 't');
  const std::string longest(65535, 't');
  EXPECT_NO_THROW(TMqttPublishPacket(0, longest, {}, TMqttQoS::qosAtMostOnce, false).GetBytes());
  EXPECT_THROW(TMqttPublishPacket(0, tooLong, {}, TMqttQoS::qosAtMostOnce, false), EMqttEncodeError);
  EXPECT_THROW(TMqttPublishPacket(0, "bad\xFF", {}, TMqttQoS::qosAtMostOnce, false), EMqttEncodeError);
  EXPECT_THROW(TMqttSubscribePacket(1, {"ok", tooLong}, {TMqttQoS::qosAtMostOnce, TMqttQoS::qosAtMostOnce}),
               EMqttEncodeError);
  EXPECT_THROW(TMqttUnSubscribePacket(1, {tooLong}), EMqttEncodeError);
  EXPECT_THROW(TMqttConnectPacket{tooLong}, EMqttEncodeError);

  // A refused value leaves the packet as it was.
  TMqttConnectPacket connect("c");
  connect.SetUserName("user");
  EXPECT_THROW(connect.SetUserName(tooLong), EMqttEncodeError);
  EXPECT_THROW(connect.SetPassword("\xC0\x80"), EMqttEncodeError);
  EXPECT_THROW(connect.SetWillMessage(tooLong), EMqttEncodeError);
  EXPECT_EQ(connect.UserName(), "user");
  EXPECT_TRUE(connect.ConnectFlags().HasUserName());
  EXPECT_FALSE(connect.ConnectFlags().HasPassword());
  EXPECT_EQ(ToHex(TMqttByteView(connect.GetBytes()).subspan(12)), "00 01 63 00 04 75 73 65 72");
}

TEST(PacketEncoding, SubscribeNeedsOneQosPerTopic) {
  EXPECT_EQ(ThrownMessage<EMqttEncodeError>([] {
              TMqttSubscribePacket(1, {"a", "b"}, {TMqttQoS::qosAtMostOnce});
            }),
            "Error Creating subscribe packet - amount of provided Topics does not match the amount of QoSLevels");
}

TEST(FlagsByte, SetFlagReplacesOnlyItsBitsAndRefusesWideValues) {
  TFlagsByte byte(0b1010'0101);
  byte.SetFlag(1, 2, 0b11);
  EXPECT_EQ(byte.Value(), 0b1010'0111);
  EXPECT_EQ(byte.GetFlag(4, 4), 0b1010);
  EXPECT_EQ(byte.GetFlag(0, 1), 1);
  for (auto [offset, bits, value] : {std::tuple{1u, 2u, 4}, {0u, 1u, 2}, {4u, 4u, 16}, {6u, 4u, 1}}) {
    EXPECT_EQ(ThrownMessage<EMqttAssertionError>([&] { byte.SetFlag(offset, bits, static_cast<uint8_t>(value)); }),
              "Assertion failure")
        << offset << "/" << bits << "/" << value;
  }
  EXPECT_EQ(byte.Value(), 0b1010'0111);
}

TEST(FixedHeader, BuildFlagsAndFieldsOfAReceivedByte) {
  EXPECT_EQ(TMqttFixedHeader(TMqttPacketType::mtPUBREL).Value(), 0x62);
  EXPECT_EQ(TMqttFixedHeader(TMqttPacketType::mtSUBSCRIBE).Value(), 0x82);
  EXPECT_EQ(TMqttFixedHeader(TMqttPacketType::mtUNSUBSCRIBE).Value(), 0xA2);
  EXPECT_EQ(TMqttFixedHeader(TMqttPacketType::mtPUBLISH).Value(), 0x30);
  EXPECT_EQ(TMqttFixedHeader(TMqttPacketType::mtPUBLISH, true, TMqttQoS::qosExactlyOnce, true).Value(), 0x3D);

  const TMqttFixedHeader received(0x3B);
  EXPECT_EQ(received.PacketType(), TMqttPacketType::mtPUBLISH);
  EXPECT_TRUE(received.IsDuplicate());
  EXPECT_EQ(received.QoS(), TMqttQoS::qosAtLeastOnce);
  EXPECT_TRUE(received.Retain());
}

TEST(DebugRendering, HeadersAndReturnCodes) {
  EXPECT_EQ(TMqttFixedHeader(0x3B).ToString(),
            "MessageType: mtPUBLISH\r\nIsDuplicate: -1\r\nQos: qosAtLeastOnce\r\nRetain: -1\r\n");
  EXPECT_EQ(TMqttFixedHeader(0xC0).ToString(),
            "MessageType: mtPINGREQ\r\nIsDuplicate: 0\r\nQos: qosAtMostOnce\r\nRetain: 0\r\n");
  EXPECT_EQ(TMqttVariableHeader(5).ToString(), "PacketId: 5\r\n");
  EXPECT_EQ(TMqttVariableHeader(0).ToString(), "");
  EXPECT_EQ(TMqttSubAckReturnCode(0x01).ToString(), "Accepted:-1 maxQoS:qosAtLeastOnce");
  EXPECT_EQ(TMqttSubAckReturnCode(0x80).ToString(), "Accepted:0 maxQoS:qosAtMostOnce");
  EXPECT_EQ(TMqttPingRequestPacket().ToString(), "TMqttPingRequestPacket");
  EXPECT_EQ(TMqttConnectFlags(0).ToString(), "TMqttConnectFlags");

  TMqttSubAckReturnCode code(0);
  code.SetIsAccepted(false);
  EXPECT_EQ(code.Value(), 0x80);
  code.SetMaximumQoS(TMqttQoS::qosExactlyOnce);
  EXPECT_EQ(code.Value(), 0x82);
}

}  // namespace
}  // namespace kestova
