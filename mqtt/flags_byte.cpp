#include "mqtt/flags_byte.h"

#include <typeinfo>

#include "mqtt/exceptions.h"
#include "mqtt/type_name.h"

namespace kestova {
namespace {

constexpr uint8_t FieldMask(unsigned ANrOfBits) noexcept {
  return ANrOfBits >= 8 ? 0xFF : static_cast<uint8_t>((1u << ANrOfBits) - 1);
}

}  // namespace

uint8_t TFlagsByte::GetFlag(unsigned AOffset, unsigned ANrOfBits) const noexcept {
  if (AOffset >= 8) return 0;
  return static_cast<uint8_t>((FByte >> AOffset) & FieldMask(ANrOfBits));
}

void TFlagsByte::SetFlag(unsigned AOffset, unsigned ANrOfBits, uint8_t AValue) {
  if (ANrOfBits == 0 || AOffset + ANrOfBits > 8 || (AValue & ~FieldMask(ANrOfBits)) != 0) {
    throw EMqttAssertionError(kMqttAssertionFailure);
  }
  const auto mask = static_cast<uint8_t>(FieldMask(ANrOfBits) << AOffset);
  FByte = static_cast<uint8_t>((FByte & ~mask) | (AValue << AOffset));
}

std::string TFlagsByte::ToString() const { return MqttTypeName(typeid(*this)); }

TMqttFixedHeader::TMqttFixedHeader(TMqttPacketType APacketType) : TFlagsByte(0) {
  SetPacketType(APacketType);
  if (APacketType == TMqttPacketType::mtPUBREL || APacketType == TMqttPacketType::mtSUBSCRIBE ||
      APacketType == TMqttPacketType::mtUNSUBSCRIBE) {
    SetQoS(TMqttQoS::qosAtLeastOnce);
  }
}

TMqttFixedHeader::TMqttFixedHeader(TMqttPacketType APacketType, bool AIsDuplicate, TMqttQoS AQoS, bool ARetain)
    : TFlagsByte(0) {
  SetPacketType(APacketType);
  SetIsDuplicate(AIsDuplicate);
  SetQoS(AQoS);
  SetRetain(ARetain);
}

std::string TMqttFixedHeader::ToString() const {
  std::string text = "MessageType: ";
  text += MqttPacketTypeName(PacketType());
  text += "\r\nIsDuplicate: ";
  text += MqttBoolText(IsDuplicate());
  text += "\r\nQos: ";
  text += MqttQoSName(QoS());
  text += "\r\nRetain: ";
  text += MqttBoolText(Retain());
  text += "\r\n";
  return text;
}

std::string TMqttSubAckReturnCode::ToString() const {
  std::string text = "Accepted:";
  text += MqttBoolText(IsAccepted());
  text += " maxQoS:";
  text += MqttQoSName(MaximumQoS());
  return text;
}

}  // namespace kestova
