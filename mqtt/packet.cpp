#include "mqtt/packet.h"

#include <typeinfo>

#include "mqtt/type_name.h"
#include "mqtt/utils.h"

namespace kestova {

TMqttPacket::TMqttPacket(TMqttFixedHeader AHeader, TMqttByteView) noexcept : FFixedHeader(AHeader) {}

TMqttBytes TMqttPacket::GetPayload() const { return {}; }

TMqttBytes TMqttPacket::GetBytes() const {
  TMqttBytes body;
  if (FVariableHeader) body = FVariableHeader->GetBytes();
  AddBytes(body, GetPayload());
  const TMqttBytes length = SerializeRemainingLength(body.size());
  TMqttBytes bytes;
  bytes.reserve(1 + length.size() + body.size());
  AddByte(bytes, FFixedHeader.Value());
  AddBytes(bytes, length);
  AddBytes(bytes, body);
  return bytes;
}

std::string TMqttPacket::ToString() const { return MqttTypeName(typeid(*this)); }

TMqttIdentifiedPacket::TMqttIdentifiedPacket(TMqttFixedHeader AHeader, uint16_t APacketID) : TMqttPacket(AHeader) {
  SetVariableHeader(std::make_unique<TMqttVariableHeader>(APacketID));
}

TMqttIdentifiedPacket::TMqttIdentifiedPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes,
                                             bool AReadPacketId)
    : TMqttPacket(AHeader, ARemainingBytes) {
  if (!AReadPacketId) return;
  std::size_t index = 0;
  auto header = std::make_unique<TMqttVariableHeader>();
  header->ReadPacketId(ARemainingBytes, index);
  SetVariableHeader(std::move(header));
}

}  // namespace kestova
