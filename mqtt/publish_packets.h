#pragma once
// PUBLISH and the four packets of its acknowledgement flow: PUBACK, PUBREC, PUBREL, PUBCOMP.
#include <cstdint>
#include <string>

#include "mqtt/packet.h"

namespace kestova {

class TMqttPublishPacket : public TMqttPacket {
 public:
  // DUP clear. The identifier is written whenever AQoS is not 0; EMqttEncodeError when the
  // topic cannot be encoded (see CheckTextField). The topic rules are the client's to apply.
  TMqttPublishPacket(uint16_t APacketId, std::string ATopic, TMqttBytes APayload, TMqttQoS AQoS, bool ARetain);
  // Decoding: topic (a short or overlong length gives an empty topic, see ReadLenghtPrefixedField),
  // the identifier when the first byte's QoS is not 0, the rest is the payload. EMqttDecodeError
  // "Could not read" for a missing identifier, or when the topic is not valid UTF-8.
  TMqttPublishPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes);

  const std::string& TopicName() const noexcept { return FHeader->TopicName(); }
  const TMqttBytes& Payload() const noexcept { return FPayload; }
  // Moves the payload out (for handing it on without a copy); Payload() is empty afterwards.
  TMqttBytes TakePayload() noexcept { return std::move(FPayload); }

  TMqttBytes GetPayload() const override { return FPayload; }

 private:
  TMqttPublishVariableHeader* FHeader = nullptr;  // owned by the base as the variable header
  TMqttBytes FPayload;
};

class TMqttPubAckPacket : public TMqttAcknowledgementPacket<TMqttPacketType::mtPUBACK> {
 public:
  using TMqttAcknowledgementPacket::TMqttAcknowledgementPacket;
};

class TMqttPubRecPacket : public TMqttAcknowledgementPacket<TMqttPacketType::mtPUBREC> {
 public:
  using TMqttAcknowledgementPacket::TMqttAcknowledgementPacket;
};

// Built with the flag nibble 0010 (QoS 1), so the writer repeats it until its PUBCOMP arrives.
class TMqttPubRelPacket : public TMqttAcknowledgementPacket<TMqttPacketType::mtPUBREL> {
 public:
  using TMqttAcknowledgementPacket::TMqttAcknowledgementPacket;
};

class TMqttPubCompPacket : public TMqttAcknowledgementPacket<TMqttPacketType::mtPUBCOMP> {
 public:
  using TMqttAcknowledgementPacket::TMqttAcknowledgementPacket;
};

}  // namespace kestova
