#pragma once
// The packets without variable header or payload: PINGREQ, PINGRESP and DISCONNECT. Received
// ones are the first byte alone; a body is ignored.
#include "mqtt/packet.h"

namespace kestova {

class TMqttPingRequestPacket : public TMqttPacket {
 public:
  TMqttPingRequestPacket() : TMqttPacket(TMqttFixedHeader(TMqttPacketType::mtPINGREQ)) {}
  TMqttPingRequestPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes) noexcept
      : TMqttPacket(AHeader, ARemainingBytes) {}
};

class TMqttPingRespPacket : public TMqttPacket {
 public:
  TMqttPingRespPacket() : TMqttPacket(TMqttFixedHeader(TMqttPacketType::mtPINGRESP)) {}
  TMqttPingRespPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes) noexcept
      : TMqttPacket(AHeader, ARemainingBytes) {}
};

class TMqttDisconnectPacket : public TMqttPacket {
 public:
  TMqttDisconnectPacket() : TMqttPacket(TMqttFixedHeader(TMqttPacketType::mtDISCONNECT)) {}
  TMqttDisconnectPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes) noexcept
      : TMqttPacket(AHeader, ARemainingBytes) {}
};

}  // namespace kestova
