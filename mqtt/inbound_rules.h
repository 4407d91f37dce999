#pragma once
// What MQTT 3.1.1 requires of the packets a broker sends to a client, checked on each received
// frame before it is queued: the flag nibble of the first byte (section 2.2.2), the exact size
// of the fixed-size packets, PUBLISH with a QoS below 3, a valid topic name (section 4.7) and a
// non-zero identifier, SUBACK return codes 0, 1, 2 or 0x80, and no reserved packet type. A
// packet that breaks them is a protocol violation, after which the connection is closed
// (section 4.8) rather than guessing what the broker meant.
//
// CONNECT, SUBSCRIBE, UNSUBSCRIBE, PINGREQ and DISCONNECT never come from a broker; they pass
// here, and the client logs them as packets of an invalid type.
//
// Thread safety: a pure function.
#include <cstdint>
#include <string>

#include "mqtt/global.h"

namespace kestova {

// Empty when the packet may be processed; otherwise what is wrong with it.
std::string InboundPacketProblem(uint8_t AFirstByte, TMqttByteView ABody);

}  // namespace kestova
