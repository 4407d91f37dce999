#pragma once
// Single bytes read and written as bit fields: the fixed header of every packet, the CONNECT
// flags and a SUBACK return code. Bit 0 is the least significant bit.
#include <cstdint>
#include <string>

#include "mqtt/global.h"

namespace kestova {

class TFlagsByte {
 public:
  explicit TFlagsByte(uint8_t AValue = 0) noexcept : FByte(AValue) {}
  virtual ~TFlagsByte() = default;
  TFlagsByte(const TFlagsByte&) = default;
  TFlagsByte& operator=(const TFlagsByte&) = default;

  uint8_t Value() const noexcept { return FByte; }
  void SetValue(uint8_t AValue) noexcept { FByte = AValue; }

  // The ANrOfBits-bit field starting at bit AOffset.
  uint8_t GetFlag(unsigned AOffset, unsigned ANrOfBits) const noexcept;
  // Replaces exactly that field. EMqttAssertionError "Assertion failure" when AValue does not
  // fit in ANrOfBits bits or the field does not fit in the byte.
  void SetFlag(unsigned AOffset, unsigned ANrOfBits, uint8_t AValue);

  // Debug rendering; the class name unless a subclass says more.
  virtual std::string ToString() const;

 protected:
  uint8_t FByte;
};

// The first byte of a packet: type in bits 4-7, DUP bit 3, QoS bits 1-2, RETAIN bit 0.
class TMqttFixedHeader : public TFlagsByte {
 public:
  // A received first byte, all 8 bits kept.
  explicit TMqttFixedHeader(uint8_t AValue = 0) noexcept : TFlagsByte(AValue) {}
  // A header to build: PUBREL, SUBSCRIBE and UNSUBSCRIBE get the flag nibble 0010 they require.
  explicit TMqttFixedHeader(TMqttPacketType APacketType);
  TMqttFixedHeader(TMqttPacketType APacketType, bool AIsDuplicate, TMqttQoS AQoS, bool ARetain);

  TMqttPacketType PacketType() const noexcept { return static_cast<TMqttPacketType>(GetFlag(4, 4)); }
  void SetPacketType(TMqttPacketType AType) { SetFlag(4, 4, static_cast<uint8_t>(AType)); }
  bool IsDuplicate() const noexcept { return GetFlag(3, 1) != 0; }
  void SetIsDuplicate(bool AValue) { SetFlag(3, 1, AValue ? 1 : 0); }
  TMqttQoS QoS() const noexcept { return static_cast<TMqttQoS>(GetFlag(1, 2)); }
  void SetQoS(TMqttQoS AQoS) { SetFlag(1, 2, static_cast<uint8_t>(AQoS)); }
  bool Retain() const noexcept { return GetFlag(0, 1) != 0; }
  void SetRetain(bool AValue) { SetFlag(0, 1, AValue ? 1 : 0); }

  // "MessageType: mtPUBLISH\r\nIsDuplicate: 0\r\nQos: qosAtMostOnce\r\nRetain: 0\r\n"
  std::string ToString() const override;
};

// The CONNECT flags byte. Bit 0 is reserved and stays 0.
class TMqttConnectFlags : public TFlagsByte {
 public:
  using TFlagsByte::TFlagsByte;

  bool CleanSession() const noexcept { return GetFlag(1, 1) != 0; }
  void SetCleanSession(bool AValue) { SetFlag(1, 1, AValue ? 1 : 0); }
  bool WillFlag() const noexcept { return GetFlag(2, 1) != 0; }
  void SetWillFlag(bool AValue) { SetFlag(2, 1, AValue ? 1 : 0); }
  TMqttQoS WillQoS() const noexcept { return static_cast<TMqttQoS>(GetFlag(3, 2)); }
  void SetWillQoS(TMqttQoS AQoS) { SetFlag(3, 2, static_cast<uint8_t>(AQoS)); }
  bool WillRetain() const noexcept { return GetFlag(5, 1) != 0; }
  void SetWillRetain(bool AValue) { SetFlag(5, 1, AValue ? 1 : 0); }
  // MQTT 3.1.1 puts the user name flag in bit 7 and the password flag in bit 6; brokers
  // refuse a CONNECT whose flags say password without user name.
  bool HasUserName() const noexcept { return GetFlag(7, 1) != 0; }
  void SetHasUserName(bool AValue) { SetFlag(7, 1, AValue ? 1 : 0); }
  bool HasPassword() const noexcept { return GetFlag(6, 1) != 0; }
  void SetHasPassword(bool AValue) { SetFlag(6, 1, AValue ? 1 : 0); }
};

// One SUBACK return code: bit 7 set means refused, bits 0-1 the granted QoS.
class TMqttSubAckReturnCode : public TFlagsByte {
 public:
  using TFlagsByte::TFlagsByte;

  bool IsAccepted() const noexcept { return GetFlag(7, 1) == 0; }
  void SetIsAccepted(bool AValue) { SetFlag(7, 1, AValue ? 0 : 1); }
  TMqttQoS MaximumQoS() const noexcept { return static_cast<TMqttQoS>(GetFlag(0, 2)); }
  void SetMaximumQoS(TMqttQoS AQoS) { SetFlag(0, 2, static_cast<uint8_t>(AQoS)); }

  // "Accepted:-1 maxQoS:qosAtLeastOnce"
  std::string ToString() const override;
};

}  // namespace kestova
