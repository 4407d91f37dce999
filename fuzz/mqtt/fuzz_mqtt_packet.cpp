// Arbitrary first byte and body into the packet factory. Decoding may refuse the bytes with a
// decoding error; anything else escaping, a crash, or a sanitizer report is a fault. A decoded
// packet must render and re-encode, and where the wire form keeps every field (CONNACK, and a
// PUBLISH with a topic: an empty one is written as 00 00, which reads back as payload) the
// re-encoded bytes must decode to the same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mqtt/exceptions.h"
#include "mqtt/packet_factory.h"
#include "mqtt/packets.h"
#include "mqtt/utils.h"

namespace {

using namespace kestova;

void Check(bool ACondition) {
  if (!ACondition) std::abort();
}

std::unique_ptr<TMqttPacket> Redecode(const TMqttPacket& APacket) {
  const TMqttBytes wire = APacket.GetBytes();
  std::size_t lengthBytes = 1;
  while (lengthBytes < wire.size() && (wire[lengthBytes] & 0x80) != 0) ++lengthBytes;
  const TMqttByteView view(wire);
  Check(ReadRemainingLength(view.subspan(1)) == wire.size() - 1 - lengthBytes);
  return TMqttPacketFactory::CreateFrom(wire[0], view.subspan(1 + lengthBytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  if (ASize == 0) return 0;
  const TMqttByteView body(AData + 1, ASize - 1);
  std::unique_ptr<TMqttPacket> packet;
  try {
    packet = TMqttPacketFactory::CreateFrom(AData[0], body);
  } catch (const EMqttDecodeError&) {
    return 0;
  }
  Check(packet->FixedHeader().Value() == AData[0]);
  (void)packet->ToString();
  (void)packet->FixedHeader().ToString();
  if (packet->VariableHeader()) (void)packet->VariableHeader()->ToString();
  (void)packet->GetBytes();

  const auto* publish = dynamic_cast<const TMqttPublishPacket*>(packet.get());
  if (publish && !publish->TopicName().empty()) {
    const auto again = Redecode(*publish);
    const auto& second = dynamic_cast<const TMqttPublishPacket&>(*again);
    Check(second.TopicName() == publish->TopicName());
    Check(second.Payload() == publish->Payload());
    Check(second.PacketId() == publish->PacketId());
    Check(second.FixedHeader().Value() == publish->FixedHeader().Value());
  } else if (const auto* connAck = dynamic_cast<const TMqttConnAckPacket*>(packet.get())) {
    const auto again = Redecode(*connAck);
    const auto& second = dynamic_cast<const TMqttConnAckPacket&>(*again);
    Check(second.ReturnCode() == connAck->ReturnCode());
    Check(second.SessionPresent() == connAck->SessionPresent());
  } else if (const auto* subAck = dynamic_cast<const TMqttSubAckPacket*>(packet.get())) {
    Check(subAck->ReturnCodes().size() == body.size() - 2);
  }
  return 0;
}
