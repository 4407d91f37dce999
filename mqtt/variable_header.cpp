#include "mqtt/variable_header.h"

#include "mqtt/utils.h"

namespace kestova {

TMqttBytes TMqttVariableHeader::GetBytes() const {
  if (FPacketID == 0) return {};
  return GetMsbLsb(FPacketID);
}

void TMqttVariableHeader::SetBytes(TMqttByteView) {}

void TMqttVariableHeader::ReadPacketId(TMqttByteView ABytes, std::size_t& AIndex) {
  FPacketID = ReadMsbLsb(ABytes, AIndex);
}

std::string TMqttVariableHeader::ToString() const {
  if (FPacketID == 0) return {};
  return "PacketId: " + std::to_string(FPacketID) + "\r\n";
}

TMqttBytes TMqttConnectVariableHeader::GetBytes() const {
  TMqttBytes bytes;
  bytes.reserve(10);
  AddLenghtPrefixedField(bytes, ProtocolName());
  AddByte(bytes, static_cast<uint8_t>(FProtocolVersion));
  AddByte(bytes, FConnectFlags.Value());
  AddBytes(bytes, GetMsbLsb(FKeepAlive));
  // A CONNECT has no identifier; the base rule would add nothing for 0 anyway.
  return bytes;
}

TMqttConnAckVariableHeader::TMqttConnAckVariableHeader(bool ASessionPresent, TMqttConnectReturnCode AReturnCode) {
  SetSessionPresent(ASessionPresent);
  SetReturnCode(AReturnCode);
}

TMqttBytes TMqttConnAckVariableHeader::GetBytes() const { return {FConnAckFlags.Value(), FReturnCodeByte}; }

TMqttPublishVariableHeader::TMqttPublishVariableHeader(uint16_t APacketId, std::string ATopic, TMqttQoS AQoS)
    : TMqttVariableHeader(APacketId), FTopicName(std::move(ATopic)), FQoS(AQoS) {
  CheckTextField(FTopicName);
}

TMqttBytes TMqttPublishVariableHeader::GetBytes() const {
  TMqttBytes bytes;
  bytes.reserve(FTopicName.size() + 4);
  AddLenghtPrefixedField(bytes, FTopicName);
  if (FQoS != TMqttQoS::qosAtMostOnce) AddBytes(bytes, GetMsbLsb(FPacketID));
  return bytes;
}

}  // namespace kestova
