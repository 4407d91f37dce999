#include "mqtt/subscribe_packets.h"

#include "mqtt/exceptions.h"
#include "mqtt/utils.h"

namespace kestova {
namespace {

void CheckTopics(const TMqttStringArray& ATopics) {
  for (const auto& topic : ATopics) CheckTextField(topic);
}

}  // namespace

TMqttSubscribePacket::TMqttSubscribePacket(uint16_t APacketID, TMqttStringArray ATopics, TMqttQosArray ATopicQosLevels)
    : TMqttIdentifiedPacket(TMqttFixedHeader(TMqttPacketType::mtSUBSCRIBE), APacketID),
      FTopics(std::move(ATopics)),
      FTopicQosLevels(std::move(ATopicQosLevels)) {
  if (FTopics.size() != FTopicQosLevels.size()) throw EMqttEncodeError(kMqttSubscribeMismatch);
  CheckTopics(FTopics);
}

TMqttSubscribePacket::TMqttSubscribePacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
    : TMqttIdentifiedPacket(AHeader, ARemainingBytes, false) {}

TMqttBytes TMqttSubscribePacket::GetPayload() const {
  TMqttBytes payload;
  for (std::size_t i = 0; i < FTopics.size(); ++i) {
    AddLenghtPrefixedField(payload, FTopics[i]);
    AddByte(payload, static_cast<uint8_t>(FTopicQosLevels[i]));
  }
  return payload;
}

TMqttSubAckPacket::TMqttSubAckPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
    : TMqttIdentifiedPacket(AHeader, ARemainingBytes, true) {
  FReturnCodes.reserve(ARemainingBytes.size() - 2);
  for (std::size_t i = 2; i < ARemainingBytes.size(); ++i) FReturnCodes.emplace_back(ARemainingBytes[i]);
}

std::string TMqttSubAckPacket::ToString() const {
  std::string text = "TMqttSubAckPacket";
  for (const auto& code : FReturnCodes) {
    text += code.ToString();
    text += "\r\n";
  }
  return text;
}

TMqttUnSubscribePacket::TMqttUnSubscribePacket(uint16_t APacketID, TMqttStringArray ATopics)
    : TMqttIdentifiedPacket(TMqttFixedHeader(TMqttPacketType::mtUNSUBSCRIBE), APacketID), FTopics(std::move(ATopics)) {
  CheckTopics(FTopics);
}

TMqttUnSubscribePacket::TMqttUnSubscribePacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
    : TMqttIdentifiedPacket(AHeader, ARemainingBytes, false) {}

TMqttBytes TMqttUnSubscribePacket::GetPayload() const {
  TMqttBytes payload;
  for (const auto& topic : FTopics) AddLenghtPrefixedField(payload, topic);
  return payload;
}

}  // namespace kestova
