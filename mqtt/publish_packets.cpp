#include "mqtt/publish_packets.h"

#include <memory>

#include "mqtt/exceptions.h"
#include "mqtt/utils.h"
#include "platform/text_codec.h"

namespace kestova {

TMqttPublishPacket::TMqttPublishPacket(uint16_t APacketId, std::string ATopic, TMqttBytes APayload, TMqttQoS AQoS,
                                       bool ARetain)
    : TMqttPacket(TMqttFixedHeader(TMqttPacketType::mtPUBLISH, false, AQoS, ARetain)), FPayload(std::move(APayload)) {
  auto header = std::make_unique<TMqttPublishVariableHeader>(APacketId, std::move(ATopic), AQoS);
  FHeader = header.get();
  SetVariableHeader(std::move(header));
}

TMqttPublishPacket::TMqttPublishPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
    : TMqttPacket(AHeader, ARemainingBytes) {
  std::size_t index = 0;
  const TMqttBytes topic = ReadLenghtPrefixedField(ARemainingBytes, index);
  std::string topicName = BytesToText(topic);
  if (!IsValidUtf8(topicName)) throw EMqttDecodeError(kMqttInvalidTopicEncoding);
  uint16_t packetId = 0;
  if (AHeader.QoS() != TMqttQoS::qosAtMostOnce) packetId = ReadMsbLsb(ARemainingBytes, index);
  FPayload = ReadToEnd(ARemainingBytes, index);
  auto header = std::make_unique<TMqttPublishVariableHeader>(packetId, std::move(topicName), AHeader.QoS());
  FHeader = header.get();
  SetVariableHeader(std::move(header));
}

}  // namespace kestova
