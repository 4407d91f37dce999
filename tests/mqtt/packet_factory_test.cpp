#include "mqtt/packet_factory.h"

#include <gtest/gtest.h>

#include <string>

#include "mqtt/exceptions.h"
#include "mqtt/packets.h"
#include "tests/support/hex.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ByteVector;
using test::HexBytes;
using test::ToHex;

template <typename TPacket>
const TPacket& As(const std::unique_ptr<TMqttPacket>& APacket) {
  const auto* packet = dynamic_cast<const TPacket*>(APacket.get());
  if (!packet) throw std::runtime_error("decoded as " + APacket->ToString());
  return *packet;
}

std::string DecodeError(uint8_t AFirst, const char* ABody) {
  return test::ThrownMessage<EMqttDecodeError>([&] { TMqttPacketFactory::CreateFrom(AFirst, HexBytes(ABody)); });
}

TEST(PacketDecoding, ConnAck) {
  const auto packet = TMqttPacketFactory::CreateFrom(0x20, HexBytes("01 05"));
  const auto& connAck = As<TMqttConnAckPacket>(packet);
  EXPECT_TRUE(connAck.SessionPresent());
  EXPECT_EQ(connAck.ReturnCode(), TMqttConnectReturnCode::rcConRejected_ClientNotAuthorized);
  EXPECT_EQ(connAck.PacketId(), 0);
  // Return codes without a name are kept as received.
  EXPECT_EQ(
      static_cast<int>(As<TMqttConnAckPacket>(TMqttPacketFactory::CreateFrom(0x20, HexBytes("00 07"))).ReturnCode()),
      7);
}

TEST(PacketDecoding, PublishFieldsAndFlags) {
  const auto qos1 = TMqttPacketFactory::CreateFrom(0x3B, HexBytes("00 01 74 00 05 78"));
  const auto& publish = As<TMqttPublishPacket>(qos1);
  EXPECT_EQ(publish.PacketType(), TMqttPacketType::mtPUBLISH);
  EXPECT_TRUE(publish.IsDuplicate());
  EXPECT_EQ(publish.QoS(), TMqttQoS::qosAtLeastOnce);
  EXPECT_TRUE(publish.IsRetained());
  EXPECT_EQ(publish.PacketId(), 5);
  EXPECT_EQ(publish.TopicName(), "t");
  EXPECT_EQ(publish.Payload(), ByteVector("x"));

  const auto qos0 = TMqttPacketFactory::CreateFrom(0x30, HexBytes("00 03 61 2F 62 C3 A9"));
  EXPECT_EQ(As<TMqttPublishPacket>(qos0).TopicName(), "a/b");
  EXPECT_EQ(As<TMqttPublishPacket>(qos0).PacketId(), 0);
  EXPECT_EQ(ToHex(As<TMqttPublishPacket>(qos0).Payload()), "C3 A9");
}

struct TPublishCase {
  const char* Name;
  uint8_t First;
  const char* Body;
  const char* Topic;
  uint16_t PacketId;
  const char* Payload;
};

TEST(PacketDecoding, PublishWithShortOrOverlongTopicLength) {
  const TPublishCase cases[] = {
      {"declared topic longer than the body, QoS 0: payload after the length", 0x30, "00 09 74 78", "", 0, "74 78"},
      {"declared topic longer than the body, QoS 1: payload after the identifier", 0x32, "00 09 00 05 78", "", 5, "78"},
      {"empty topic and no payload", 0x30, "00 00", "", 0, "00 00"},
      {"no body at all", 0x30, "", "", 0, ""},
      {"topic only", 0x30, "00 01 74", "74", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto packet = TMqttPacketFactory::CreateFrom(c.First, HexBytes(c.Body));
    const auto& publish = As<TMqttPublishPacket>(packet);
    EXPECT_EQ(ToHex(publish.TopicName()), c.Topic);
    EXPECT_EQ(publish.PacketId(), c.PacketId);
    EXPECT_EQ(ToHex(publish.Payload()), c.Payload);
  }
}

struct TIdentifierCase {
  uint8_t First;
  TMqttPacketType Type;
};

TEST(PacketDecoding, AcknowledgementsReadTheirIdentifierAndIgnoreTheRest) {
  const TIdentifierCase cases[] = {
      {0x40, TMqttPacketType::mtPUBACK},  {0x50, TMqttPacketType::mtPUBREC},   {0x62, TMqttPacketType::mtPUBREL},
      {0x70, TMqttPacketType::mtPUBCOMP}, {0xB0, TMqttPacketType::mtUNSUBACK}, {0x9F, TMqttPacketType::mtSUBACK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(MqttPacketTypeName(c.Type)));
    const auto packet = TMqttPacketFactory::CreateFrom(c.First, HexBytes("12 34"));
    EXPECT_EQ(packet->PacketType(), c.Type);
    EXPECT_EQ(packet->PacketId(), 0x1234);
    EXPECT_EQ(packet->FixedHeader().Value(), c.First);
    if (c.Type != TMqttPacketType::mtSUBACK) {
      EXPECT_EQ(TMqttPacketFactory::CreateFrom(c.First, HexBytes("00 07 FF FF"))->PacketId(), 7);
    }
    EXPECT_EQ(DecodeError(c.First, "00"), "Could not read");
    EXPECT_EQ(DecodeError(c.First, ""), "Could not read");
  }
}

TEST(PacketDecoding, SubAckReturnCodes) {
  const auto refused = TMqttPacketFactory::CreateFrom(0x90, HexBytes("00 01 80"));
  const auto& codes = As<TMqttSubAckPacket>(refused).ReturnCodes();
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_FALSE(codes[0].IsAccepted());
  EXPECT_EQ(codes[0].MaximumQoS(), TMqttQoS::qosAtMostOnce);

  const auto two = TMqttPacketFactory::CreateFrom(0x90, HexBytes("00 02 01 80"));
  const auto& subAck = As<TMqttSubAckPacket>(two);
  EXPECT_EQ(subAck.PacketId(), 2);
  ASSERT_EQ(subAck.ReturnCodes().size(), 2u);
  EXPECT_TRUE(subAck.ReturnCodes()[0].IsAccepted());
  EXPECT_EQ(subAck.ReturnCodes()[0].MaximumQoS(), TMqttQoS::qosAtLeastOnce);
  EXPECT_EQ(subAck.ToString(),
            "TMqttSubAckPacketAccepted:-1 maxQoS:qosAtLeastOnce\r\nAccepted:0 maxQoS:qosAtMostOnce\r\n");

  EXPECT_TRUE(As<TMqttSubAckPacket>(TMqttPacketFactory::CreateFrom(0x90, HexBytes("00 02"))).ReturnCodes().empty());
}

TEST(PacketDecoding, PacketsReadOnlyByTheirFirstByte) {
  for (uint8_t first : {0x10, 0x82, 0xA2, 0xC0, 0xD0, 0xE0, 0xEF}) {
    SCOPED_TRACE(static_cast<int>(first));
    const auto packet = TMqttPacketFactory::CreateFrom(first, HexBytes("00 05 01 02 03"));
    EXPECT_EQ(packet->FixedHeader().Value(), first);
    EXPECT_EQ(packet->PacketId(), 0);
    if (first != 0x10) {
      EXPECT_TRUE(packet->GetPayload().empty());
    }
  }
  // Nothing of the body is taken over: a received CONNECT has no client id, a SUBSCRIBE no topics.
  EXPECT_EQ(As<TMqttConnectPacket>(TMqttPacketFactory::CreateFrom(0x10, HexBytes("00 01 61"))).ClientIdentifier(), "");
  EXPECT_TRUE(
      As<TMqttSubscribePacket>(TMqttPacketFactory::CreateFrom(0x82, HexBytes("00 01 00 01 61 00"))).Topics().empty());
  EXPECT_EQ(TMqttPacketFactory::CreateFrom(0xD0, {})->PacketType(), TMqttPacketType::mtPINGRESP);
}

TEST(PacketDecoding, Failures) {
  struct TFailure {
    uint8_t First;
    const char* Body;
    const char* Message;
  };
  const TFailure failures[] = {
      {0x00, "", "RESERVED PACKET TYPE"},
      {0x0F, "00 01", "RESERVED PACKET TYPE"},
      {0xF0, "", "RESERVED PACKET TYPE"},
      {0xFF, "00 00", "RESERVED PACKET TYPE"},
      {0x20, "", "Could not read"},  // CONNACK without its two bytes
      {0x20, "00", "Could not read"},
      {0x32, "00 01 74", "Could not read"},  // QoS 1 PUBLISH without identifier
      {0x34, "00 01 74 00", "Could not read"},
      {0x30, "00 01 FF", "Received topic name is not valid UTF-8"},
      {0x32, "00 02 C3 28 00 01", "Received topic name is not valid UTF-8"},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(std::to_string(f.First) + " " + f.Body);
    EXPECT_EQ(DecodeError(f.First, f.Body), f.Message);
  }
}

TEST(PacketDecoding, BuiltPacketsDecodeToTheirFields) {
  const TMqttPublishPacket built(0xBEEF, "k/\xC3\xA9", ByteVector("payload"), TMqttQoS::qosExactlyOnce, true);
  const TMqttBytes wire = built.GetBytes();
  const auto body = TMqttByteView(wire).subspan(2);  // remaining length < 128
  const auto decoded = TMqttPacketFactory::CreateFrom(wire[0], body);
  const auto& publish = As<TMqttPublishPacket>(decoded);
  EXPECT_EQ(publish.TopicName(), built.TopicName());
  EXPECT_EQ(publish.PacketId(), 0xBEEF);
  EXPECT_EQ(publish.Payload(), built.Payload());
  EXPECT_EQ(publish.QoS(), TMqttQoS::qosExactlyOnce);
  EXPECT_TRUE(publish.IsRetained());
  EXPECT_FALSE(publish.IsDuplicate());
  EXPECT_EQ(publish.GetBytes(), wire);

  const TMqttConnAckPacket connAck(false, TMqttConnectReturnCode::rcConAccepted);
  const TMqttBytes ackWire = connAck.GetBytes();
  EXPECT_EQ(TMqttPacketFactory::CreateFrom(ackWire[0], TMqttByteView(ackWire).subspan(2))->GetBytes(), ackWire);
}

}  // namespace
}  // namespace kestova
