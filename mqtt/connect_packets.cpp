#include "mqtt/connect_packets.h"

#include <memory>

#include "mqtt/exceptions.h"
#include "mqtt/utils.h"
#include "platform/ascii_text.h"

namespace kestova {
namespace {

// Blanks and control characters around a value are not part of it. The trimmed value is stored
// once it is known to be encodable, so a refused value changes nothing.
std::string TrimmedField(std::string_view AValue) {
  const std::string_view trimmed = TrimBlanks(AValue);
  CheckTextField(trimmed);
  return std::string(trimmed);
}

}  // namespace

TMqttConnectPacket::TMqttConnectPacket(std::string AClientIdentifier)
    : TMqttPacket(TMqttFixedHeader(TMqttPacketType::mtCONNECT)), FClientIdentifier(std::move(AClientIdentifier)) {
  CheckTextField(FClientIdentifier);
  auto header = std::make_unique<TMqttConnectVariableHeader>();
  FHeader = header.get();
  SetVariableHeader(std::move(header));
}

TMqttConnectPacket::TMqttConnectPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
    : TMqttPacket(AHeader, ARemainingBytes) {
  auto header = std::make_unique<TMqttConnectVariableHeader>();
  FHeader = header.get();
  SetVariableHeader(std::move(header));
}

void TMqttConnectPacket::SetUserName(std::string_view AValue) {
  FUserName = TrimmedField(AValue);
  Flags().SetHasUserName(!FUserName.empty());
}

void TMqttConnectPacket::SetPassword(std::string_view AValue) {
  FPassword = TrimmedField(AValue);
  Flags().SetHasPassword(!FPassword.empty());
}

void TMqttConnectPacket::SetWillTopic(std::string_view AValue) {
  FWillTopic = TrimmedField(AValue);
  Flags().SetWillFlag(!FWillTopic.empty());
}

void TMqttConnectPacket::SetWillMessage(std::string AValue) {
  CheckTextField(AValue);
  FWillMessage = std::move(AValue);
}

TMqttBytes TMqttConnectPacket::GetPayload() const {
  TMqttBytes payload;
  AddLenghtPrefixedField(payload, FClientIdentifier);
  if (!FWillTopic.empty()) {
    AddLenghtPrefixedField(payload, FWillTopic);
    AddLenghtPrefixedField(payload, FWillMessage);
  }
  if (!FUserName.empty()) AddLenghtPrefixedField(payload, FUserName);
  if (!FPassword.empty()) AddLenghtPrefixedField(payload, FPassword);
  return payload;
}

TMqttConnAckPacket::TMqttConnAckPacket(bool ASessionPresent, TMqttConnectReturnCode AReturnCode)
    : TMqttPacket(TMqttFixedHeader(TMqttPacketType::mtCONNACK)) {
  auto header = std::make_unique<TMqttConnAckVariableHeader>(ASessionPresent, AReturnCode);
  FHeader = header.get();
  SetVariableHeader(std::move(header));
}

TMqttConnAckPacket::TMqttConnAckPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
    : TMqttPacket(AHeader, ARemainingBytes) {
  // Both bytes are needed: a shorter body is not a CONNACK we could act on.
  if (ARemainingBytes.size() < 2) throw EMqttDecodeError(kMqttCouldNotRead);
  auto header = std::make_unique<TMqttConnAckVariableHeader>();
  header->SetConnAckFlags(ARemainingBytes[0]);
  header->SetReturnCode(static_cast<TMqttConnectReturnCode>(ARemainingBytes[1]));
  FHeader = header.get();
  SetVariableHeader(std::move(header));
}

}  // namespace kestova
