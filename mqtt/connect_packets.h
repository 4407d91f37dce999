#pragma once
// CONNECT (built by the client; a received one is not parsed past its first byte) and CONNACK.
#include <cstdint>
#include <string>

#include "mqtt/packet.h"

namespace kestova {

class TMqttConnectPacket : public TMqttPacket {
 public:
  // The identifier is used unchanged (it may be empty); EMqttEncodeError when it cannot be
  // encoded (see CheckTextField).
  explicit TMqttConnectPacket(std::string AClientIdentifier);
  // Decoding: only the first byte is kept.
  TMqttConnectPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes);

  const std::string& ClientIdentifier() const noexcept { return FClientIdentifier; }

  bool CleanSession() const noexcept { return Flags().CleanSession(); }
  void SetCleanSession(bool AValue) { Flags().SetCleanSession(AValue); }
  // These three store the value without leading and trailing blanks and control characters,
  // then set their flag exactly when what is left is not empty.
  const std::string& UserName() const noexcept { return FUserName; }
  void SetUserName(std::string_view AValue);
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(std::string_view AValue);
  const std::string& WillTopic() const noexcept { return FWillTopic; }
  void SetWillTopic(std::string_view AValue);
  // Stored unchanged; written after the will topic whenever there is one, even when empty.
  const std::string& WillMessage() const noexcept { return FWillMessage; }
  void SetWillMessage(std::string AValue);
  // Written as set, also without a will topic.
  bool WillRetain() const noexcept { return Flags().WillRetain(); }
  void SetWillRetain(bool AValue) { Flags().SetWillRetain(AValue); }
  TMqttQoS WillQoS() const noexcept { return Flags().WillQoS(); }
  void SetWillQoS(TMqttQoS AQoS) { Flags().SetWillQoS(AQoS); }
  uint16_t KeepAlive() const noexcept { return Header().KeepAlive(); }
  void SetKeepAlive(uint16_t ASeconds) noexcept { Header().SetKeepAlive(ASeconds); }

  const TMqttConnectFlags& ConnectFlags() const noexcept { return Flags(); }

  // Client identifier, [will topic, will message], [user name], [password].
  TMqttBytes GetPayload() const override;

 private:
  TMqttConnectVariableHeader& Header() noexcept { return *FHeader; }
  const TMqttConnectVariableHeader& Header() const noexcept { return *FHeader; }
  TMqttConnectFlags& Flags() noexcept { return FHeader->ConnectFlags(); }
  const TMqttConnectFlags& Flags() const noexcept { return FHeader->ConnectFlags(); }

  TMqttConnectVariableHeader* FHeader = nullptr;  // owned by the base as the variable header
  std::string FUserName;
  std::string FPassword;
  std::string FClientIdentifier;
  std::string FWillTopic;
  std::string FWillMessage;
};

class TMqttConnAckPacket : public TMqttPacket {
 public:
  TMqttConnAckPacket(bool ASessionPresent, TMqttConnectReturnCode AReturnCode);
  // Decoding: byte 0 the acknowledge flags, byte 1 the return code; EMqttDecodeError
  // "Could not read" when the body is shorter than 2 bytes.
  TMqttConnAckPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes);

  bool SessionPresent() const noexcept { return FHeader->SessionPresent(); }
  TMqttConnectReturnCode ReturnCode() const noexcept { return FHeader->ReturnCode(); }

 private:
  TMqttConnAckVariableHeader* FHeader = nullptr;  // owned by the base as the variable header
};

}  // namespace kestova
