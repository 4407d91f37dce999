#pragma once
// SUBSCRIBE and UNSUBSCRIBE (built by the client; received ones are not parsed past their first
// byte) and their acknowledgements SUBACK and UNSUBACK.
#include <cstdint>
#include <string>
#include <vector>

#include "mqtt/packet.h"

namespace kestova {

// Built with the flag nibble 0010 (QoS 1).
class TMqttSubscribePacket : public TMqttIdentifiedPacket {
 public:
  // EMqttEncodeError "Error Creating subscribe packet - amount of provided Topics does not match
  // the amount of QoSLevels" when the arrays differ in length, or when a topic cannot be encoded.
  TMqttSubscribePacket(uint16_t APacketID, TMqttStringArray ATopics, TMqttQosArray ATopicQosLevels);
  TMqttSubscribePacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes);

  const TMqttStringArray& Topics() const noexcept { return FTopics; }
  const TMqttQosArray& TopicQosLevels() const noexcept { return FTopicQosLevels; }

  // Per topic: the filter, then one QoS byte.
  TMqttBytes GetPayload() const override;

 private:
  TMqttStringArray FTopics;
  TMqttQosArray FTopicQosLevels;
};

class TMqttSubAckPacket : public TMqttIdentifiedPacket {
 public:
  // Decoding: the identifier, then one return code per remaining byte.
  TMqttSubAckPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes);

  const std::vector<TMqttSubAckReturnCode>& ReturnCodes() const noexcept { return FReturnCodes; }

  // "TMqttSubAckPacket" then each return code's rendering and "\r\n".
  std::string ToString() const override;

 private:
  std::vector<TMqttSubAckReturnCode> FReturnCodes;
};

// Built with the flag nibble 0010 (QoS 1).
class TMqttUnSubscribePacket : public TMqttIdentifiedPacket {
 public:
  // EMqttEncodeError when a topic cannot be encoded.
  TMqttUnSubscribePacket(uint16_t APacketID, TMqttStringArray ATopics);
  TMqttUnSubscribePacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes);

  const TMqttStringArray& Topics() const noexcept { return FTopics; }

  // Each filter in order.
  TMqttBytes GetPayload() const override;

 private:
  TMqttStringArray FTopics;
};

class TMqttUnsubAckPacket : public TMqttAcknowledgementPacket<TMqttPacketType::mtUNSUBACK> {
 public:
  using TMqttAcknowledgementPacket::TMqttAcknowledgementPacket;
};

}  // namespace kestova
