#pragma once
// The control packet: a fixed header, an optional variable header and a payload. Packets are
// built with their build constructors and serialised with GetBytes, or decoded from a received
// first byte and body by TMqttPacketFactory::CreateFrom.
//
// Thread safety: a packet is used by one thread at a time (built, sent or decoded, then handed
// on); nothing in it is shared.
#include <cstdint>
#include <memory>
#include <string>

#include "mqtt/flags_byte.h"
#include "mqtt/global.h"
#include "mqtt/variable_header.h"

namespace kestova {

class TMqttPacket {
 public:
  virtual ~TMqttPacket() = default;
  TMqttPacket(const TMqttPacket&) = delete;
  TMqttPacket& operator=(const TMqttPacket&) = delete;

  const TMqttFixedHeader& FixedHeader() const noexcept { return FFixedHeader; }
  // May be absent (PINGREQ, PINGRESP, DISCONNECT).
  const TMqttVariableHeader* VariableHeader() const noexcept { return FVariableHeader.get(); }

  TMqttPacketType PacketType() const noexcept { return FFixedHeader.PacketType(); }
  TMqttQoS QoS() const noexcept { return FFixedHeader.QoS(); }
  bool IsDuplicate() const noexcept { return FFixedHeader.IsDuplicate(); }
  bool IsRetained() const noexcept { return FFixedHeader.Retain(); }
  // 0 when the packet has no variable header or no identifier.
  uint16_t PacketId() const noexcept { return FVariableHeader ? FVariableHeader->PacketId() : 0; }
  // The packet's fields for the client's packet events.
  TMqttPacketInfo Info() const noexcept { return {PacketId(), PacketType(), QoS(), IsDuplicate(), IsRetained()}; }

  // The payload bytes as encoded; empty unless the packet type has a payload.
  virtual TMqttBytes GetPayload() const;
  // The complete wire form: first byte, remaining length, variable header, payload.
  TMqttBytes GetBytes() const;

  // Debug rendering; the class name unless a packet says more.
  virtual std::string ToString() const;

 protected:
  // Building: the header that the packet type needs.
  explicit TMqttPacket(TMqttFixedHeader AHeader) noexcept : FFixedHeader(AHeader) {}
  // Decoding: adopts the received first byte; the body is the subclass's to read.
  TMqttPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes) noexcept;

  TMqttFixedHeader& MutableFixedHeader() noexcept { return FFixedHeader; }
  void SetVariableHeader(std::unique_ptr<TMqttVariableHeader> AHeader) noexcept {
    FVariableHeader = std::move(AHeader);
  }
  TMqttVariableHeader* MutableVariableHeader() noexcept { return FVariableHeader.get(); }

 private:
  TMqttFixedHeader FFixedHeader;
  std::unique_ptr<TMqttVariableHeader> FVariableHeader;
};

// A packet whose variable header is its identifier alone (the acknowledgements, SUBSCRIBE,
// UNSUBSCRIBE, and SUBACK before its return codes).
class TMqttIdentifiedPacket : public TMqttPacket {
 protected:
  TMqttIdentifiedPacket(TMqttFixedHeader AHeader, uint16_t APacketID);
  // Decoding. With AReadPacketId the identifier comes from the first 2 bytes (EMqttDecodeError
  // "Could not read" when there are fewer) and the reading goes on at index 2; without it the
  // packet keeps no variable header (received packets the client does not read).
  TMqttIdentifiedPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes, bool AReadPacketId);
};

// The acknowledgements with nothing but an identifier (PUBACK, PUBREC, PUBREL, PUBCOMP,
// UNSUBACK). Decoding reads the identifier from the first 2 bytes and ignores further bytes.
template <TMqttPacketType AType>
class TMqttAcknowledgementPacket : public TMqttIdentifiedPacket {
 public:
  explicit TMqttAcknowledgementPacket(uint16_t APacketID) : TMqttIdentifiedPacket(TMqttFixedHeader(AType), APacketID) {}
  TMqttAcknowledgementPacket(TMqttFixedHeader AHeader, TMqttByteView ARemainingBytes)
      : TMqttIdentifiedPacket(AHeader, ARemainingBytes, true) {}
};

}  // namespace kestova
