#include "mqtt/session_entries.h"

#include "mqtt/flags_byte.h"
#include "mqtt/packet.h"

namespace kestova {

TQueuedOutPacket::TQueuedOutPacket(uint16_t APacketID, TMqttQoS AQos, TMqttPacketType APacketType, TMqttBytes APacket)
    : FPacket(std::move(APacket)), FQos(AQos), FPacketId(APacketID), FPacketType(APacketType) {}

TQueuedOutPacket::TQueuedOutPacket(const TMqttPacket& APacket)
    : TQueuedOutPacket(APacket.PacketId(), APacket.QoS(), APacket.PacketType(), APacket.GetBytes()) {}

void TQueuedOutPacket::RegisterAttempt(TMqttDateTime ANow) {
  ++FAttempt;
  FLastAttempt = ANow;
  if (FPacketType == TMqttPacketType::mtPUBLISH && !FPacket.empty()) {
    TMqttFixedHeader header(FPacket[0]);
    header.SetIsDuplicate(true);
    FPacket[0] = header.Value();
  }
}

}  // namespace kestova
