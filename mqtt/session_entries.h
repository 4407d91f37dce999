#pragma once
// What the session queues: encoded packets waiting to be sent or acknowledged, received
// packets waiting to be decoded, and SUBSCRIBE requests waiting for their SUBACK.
//
// Thread safety: an entry is used by one thread at a time; the session's lists hand them over.
#include <cstdint>
#include <string>

#include "mqtt/global.h"

namespace kestova {

class TMqttPacket;

class TQueuedOutPacket {
 public:
  TQueuedOutPacket(uint16_t APacketID, TMqttQoS AQos, TMqttPacketType APacketType, TMqttBytes APacket);
  // The packet's wire bytes, with the identifier, QoS and type of its headers.
  explicit TQueuedOutPacket(const TMqttPacket& APacket);

  const TMqttBytes& Packet() const noexcept { return FPacket; }
  TMqttQoS Qos() const noexcept { return FQos; }
  uint16_t PacketId() const noexcept { return FPacketId; }
  // Transmissions so far; 0 when created.
  int32_t Attempt() const noexcept { return FAttempt; }
  // When it was last transmitted (the clock's epoch before the first transmission).
  TMqttDateTime LastAttempt() const noexcept { return FLastAttempt; }
  TMqttPacketType PacketType() const noexcept { return FPacketType; }

  // One more transmission at ANow. A PUBLISH gets the DUP bit in its stored first byte, so
  // every repetition goes out marked as one.
  void RegisterAttempt(TMqttDateTime ANow = TMqttClock::now());
  // The connection (TMqttClientSession::BeginConnection count) it was queued for.
  uint64_t QueuedForConnection() const noexcept { return FQueuedForConnection; }

 private:
  friend class TMqttClientSession;

  TMqttBytes FPacket;
  TMqttQoS FQos;
  uint16_t FPacketId;
  int32_t FAttempt = 0;
  TMqttDateTime FLastAttempt{};
  TMqttPacketType FPacketType;
  // The writer pass in which the entry last joined the in-flight list (the session's pass order).
  uint64_t FInFlightPass = 0;
  uint64_t FQueuedForConnection = 0;
};

class TQueuedInPacket {
 public:
  TQueuedInPacket(uint8_t AFirstByte, TMqttBytes ABuffer) : FFirstByte(AFirstByte), FBuffer(std::move(ABuffer)) {}

  uint8_t FirstByte() const noexcept { return FFirstByte; }
  // The body (remaining-length bytes not included).
  const TMqttBytes& Buffer() const noexcept { return FBuffer; }

 private:
  uint8_t FFirstByte;
  TMqttBytes FBuffer;
};

// The topic filters sent in one SUBSCRIBE, kept until its SUBACK names them.
struct TMqttRequestedSubscription {
  uint16_t PacketId = 0;
  TMqttStringArray Topics;
};

}  // namespace kestova
