#include "mqtt/packet_factory.h"

#include "mqtt/exceptions.h"
#include "mqtt/packets.h"

namespace kestova {

std::unique_ptr<TMqttPacket> TMqttPacketFactory::CreateFrom(uint8_t AFirst, TMqttByteView ARemainingBytes) {
  const TMqttFixedHeader header(AFirst);
  switch (header.PacketType()) {
    case TMqttPacketType::mtCONNECT: return std::make_unique<TMqttConnectPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtCONNACK: return std::make_unique<TMqttConnAckPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPUBLISH: return std::make_unique<TMqttPublishPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPUBACK: return std::make_unique<TMqttPubAckPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPUBREC: return std::make_unique<TMqttPubRecPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPUBREL: return std::make_unique<TMqttPubRelPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPUBCOMP: return std::make_unique<TMqttPubCompPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtSUBSCRIBE: return std::make_unique<TMqttSubscribePacket>(header, ARemainingBytes);
    case TMqttPacketType::mtSUBACK: return std::make_unique<TMqttSubAckPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtUNSUBSCRIBE: return std::make_unique<TMqttUnSubscribePacket>(header, ARemainingBytes);
    case TMqttPacketType::mtUNSUBACK: return std::make_unique<TMqttUnsubAckPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPINGREQ: return std::make_unique<TMqttPingRequestPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtPINGRESP: return std::make_unique<TMqttPingRespPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtDISCONNECT: return std::make_unique<TMqttDisconnectPacket>(header, ARemainingBytes);
    case TMqttPacketType::mtRESERVED0:
    case TMqttPacketType::mtRESERVED15: break;
  }
  throw EMqttDecodeError(kMqttReservedPacketType);
}

}  // namespace kestova
