#pragma once
// The variable headers of the control packets. The common one carries the packet identifier,
// where 0 means "no identifier" and encodes to nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mqtt/flags_byte.h"
#include "mqtt/global.h"

namespace kestova {

class TMqttVariableHeader {
 public:
  TMqttVariableHeader() noexcept = default;
  explicit TMqttVariableHeader(uint16_t APacketId) noexcept : FPacketID(APacketId) {}
  virtual ~TMqttVariableHeader() = default;
  TMqttVariableHeader(const TMqttVariableHeader&) = delete;
  TMqttVariableHeader& operator=(const TMqttVariableHeader&) = delete;

  uint16_t PacketId() const noexcept { return FPacketID; }
  void SetPacketId(uint16_t APacketId) noexcept { FPacketID = APacketId; }

  // The encoded header: here the 2-byte identifier, or nothing for identifier 0.
  virtual TMqttBytes GetBytes() const;
  // Headers are decoded by their packets; writing bytes is accepted and ignored.
  virtual void SetBytes(TMqttByteView ABytes);
  TMqttBytes Bytes() const { return GetBytes(); }

  // Reads the 2-byte identifier at AIndex into PacketId and advances AIndex;
  // EMqttDecodeError "Could not read" when fewer than 2 bytes remain.
  void ReadPacketId(TMqttByteView ABytes, std::size_t& AIndex);

  // "PacketId: 5\r\n", or empty for identifier 0.
  virtual std::string ToString() const;

 protected:
  uint16_t FPacketID = 0;
};

class TMqttConnectVariableHeader : public TMqttVariableHeader {
 public:
  TMqttConnectVariableHeader() = default;

  static constexpr std::string_view ProtocolName() noexcept { return "MQTT"; }
  TMqttProtocolVersion ProtocolVersion() const noexcept { return FProtocolVersion; }
  TMqttConnectFlags& ConnectFlags() noexcept { return FConnectFlags; }
  const TMqttConnectFlags& ConnectFlags() const noexcept { return FConnectFlags; }
  uint16_t KeepAlive() const noexcept { return FKeepAlive; }
  void SetKeepAlive(uint16_t ASeconds) noexcept { FKeepAlive = ASeconds; }

  // 00 04 "MQTT", level, flags, keep-alive (2 bytes).
  TMqttBytes GetBytes() const override;

 private:
  TMqttConnectFlags FConnectFlags{0};
  uint16_t FKeepAlive = 0;
  TMqttProtocolVersion FProtocolVersion = TMqttProtocolVersion::mqtt_v3_1_1;
};

enum class TMqttConnectReturnCode : uint8_t {
  rcConAccepted = 0,
  rcConRejected_InvalidProtocolVersion = 1,
  rcConRejected_InvalidIdentifier = 2,
  rcConRejected_ServerUnavailable = 3,
  rcConRejected_InvalidCredentials = 4,
  rcConRejected_ClientNotAuthorized = 5
};

class TMqttConnAckVariableHeader : public TMqttVariableHeader {
 public:
  TMqttConnAckVariableHeader() = default;
  TMqttConnAckVariableHeader(bool ASessionPresent, TMqttConnectReturnCode AReturnCode);

  bool SessionPresent() const noexcept { return FConnAckFlags.GetFlag(0, 1) != 0; }
  void SetSessionPresent(bool AValue) { FConnAckFlags.SetFlag(0, 1, AValue ? 1 : 0); }
  // Any byte the broker sent; values above 5 have no name.
  TMqttConnectReturnCode ReturnCode() const noexcept { return static_cast<TMqttConnectReturnCode>(FReturnCodeByte); }
  void SetReturnCode(TMqttConnectReturnCode ACode) noexcept { FReturnCodeByte = static_cast<uint8_t>(ACode); }
  const TFlagsByte& ConnAckFlags() const noexcept { return FConnAckFlags; }
  void SetConnAckFlags(uint8_t AValue) noexcept { FConnAckFlags.SetValue(AValue); }

  // Acknowledge flags, return code.
  TMqttBytes GetBytes() const override;

 private:
  TFlagsByte FConnAckFlags{0};
  uint8_t FReturnCodeByte = 0;
};

class TMqttPublishVariableHeader : public TMqttVariableHeader {
 public:
  // The topic must be a valid text field (CheckTextField).
  TMqttPublishVariableHeader(uint16_t APacketId, std::string ATopic, TMqttQoS AQoS);

  const std::string& TopicName() const noexcept { return FTopicName; }
  TMqttQoS QoS() const noexcept { return FQoS; }

  // Topic, then the identifier whenever QoS is not 0 (even identifier 0).
  TMqttBytes GetBytes() const override;

 private:
  std::string FTopicName;
  TMqttQoS FQoS;
};

}  // namespace kestova
