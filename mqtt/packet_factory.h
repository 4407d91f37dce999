#pragma once
// Turns a received first byte and body into the packet object of its type.
//
// Thread safety: a pure function of its arguments; callable from any thread.
#include <cstdint>
#include <memory>

#include "mqtt/global.h"
#include "mqtt/packet.h"

namespace kestova {

class TMqttPacketFactory {
 public:
  // The first byte is kept whole (the flag nibble is not checked). EMqttDecodeError
  // "RESERVED PACKET TYPE" for types 0 and 15, or the decoding error of the packet's class;
  // no input makes it read outside ARemainingBytes.
  static std::unique_ptr<TMqttPacket> CreateFrom(uint8_t AFirst, TMqttByteView ARemainingBytes);
};

}  // namespace kestova
