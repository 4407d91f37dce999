#include "mqtt/inbound_rules.h"

#include "mqtt/topic.h"
#include "platform/format.h"

namespace kestova {
namespace {

std::string Violation(const char* AWhat, uint8_t AFirstByte) {
  return Format("Protocol violation: %s (first byte 0x%02X)", AWhat, static_cast<unsigned>(AFirstByte));
}

uint16_t Word(TMqttByteView ABytes, std::size_t AIndex) {
  return static_cast<uint16_t>((ABytes[AIndex] << 8) | ABytes[AIndex + 1]);
}

std::string PublishProblem(uint8_t AFirstByte, TMqttByteView ABody) {
  const unsigned qos = (AFirstByte >> 1) & 0x03;
  if (qos == 3) return Violation("PUBLISH with QoS 3", AFirstByte);
  if (ABody.size() < 2 || Word(ABody, 0) > ABody.size() - 2) {
    return Violation("PUBLISH whose topic is longer than the packet", AFirstByte);
  }
  const std::size_t topicLength = Word(ABody, 0);
  const std::string_view topic(reinterpret_cast<const char*>(ABody.data()) + 2, topicLength);
  if (const char* problem = TMqttTopic::TopicNameProblem(topic)) {
    return Violation(Format("PUBLISH topic that is no valid topic name (%s)", problem).c_str(), AFirstByte);
  }
  if (qos > 0) {
    const std::size_t at = 2 + topicLength;
    if (ABody.size() < at + 2) return Violation("PUBLISH without its packet identifier", AFirstByte);
    if (Word(ABody, at) == 0) return Violation("PUBLISH with packet identifier 0", AFirstByte);
  }
  return {};
}

}  // namespace

std::string InboundPacketProblem(uint8_t AFirstByte, TMqttByteView ABody) {
  const auto type = static_cast<TMqttPacketType>(AFirstByte >> 4);
  const uint8_t flags = AFirstByte & 0x0F;
  const auto exactly = [&](uint8_t AFlags, std::size_t ASize, const char* AName) -> std::string {
    if (flags != AFlags) return Violation(Format("%s with reserved flags set", AName).c_str(), AFirstByte);
    if (ABody.size() != ASize) {
      return Violation(Format("%s with a remaining length of %d", AName, static_cast<int>(ABody.size())).c_str(),
                       AFirstByte);
    }
    return {};
  };
  switch (type) {
    case TMqttPacketType::mtRESERVED0:
    case TMqttPacketType::mtRESERVED15: return Violation("reserved packet type", AFirstByte);
    case TMqttPacketType::mtCONNACK: {
      std::string problem = exactly(0x0, 2, "CONNACK");
      if (problem.empty() && (ABody[0] & 0xFE) != 0) problem = Violation("CONNACK with reserved bits set", AFirstByte);
      return problem;
    }
    case TMqttPacketType::mtPUBLISH: return PublishProblem(AFirstByte, ABody);
    case TMqttPacketType::mtPUBACK: return exactly(0x0, 2, "PUBACK");
    case TMqttPacketType::mtPUBREC: return exactly(0x0, 2, "PUBREC");
    case TMqttPacketType::mtPUBREL: return exactly(0x2, 2, "PUBREL");
    case TMqttPacketType::mtPUBCOMP: return exactly(0x0, 2, "PUBCOMP");
    case TMqttPacketType::mtUNSUBACK: return exactly(0x0, 2, "UNSUBACK");
    case TMqttPacketType::mtPINGRESP: return exactly(0x0, 0, "PINGRESP");
    case TMqttPacketType::mtSUBACK: {
      if (flags != 0) return Violation("SUBACK with reserved flags set", AFirstByte);
      if (ABody.size() < 3) return Violation("SUBACK without return codes", AFirstByte);
      for (std::size_t i = 2; i < ABody.size(); ++i) {
        const uint8_t code = ABody[i];
        if (code > 2 && code != 0x80) return Violation("SUBACK with a reserved return code", AFirstByte);
      }
      return {};
    }
    case TMqttPacketType::mtCONNECT:
    case TMqttPacketType::mtSUBSCRIBE:
    case TMqttPacketType::mtUNSUBSCRIBE:
    case TMqttPacketType::mtPINGREQ:
    case TMqttPacketType::mtDISCONNECT: break;
  }
  return {};
}

}  // namespace kestova
