#pragma once
// Errors of the MQTT library. Decoding errors mean the received bytes do not form the packet
// they claim to be; encoding errors mean a packet cannot be built from the given values;
// assertion errors mean the library was misused (their message begins with a fixed text).
#include "platform/exception.h"

namespace kestova {

class EMqttError : public Exception {
 public:
  using Exception::Exception;
};

class EMqttDecodeError : public EMqttError {
 public:
  using EMqttError::EMqttError;
};

class EMqttEncodeError : public EMqttError {
 public:
  using EMqttError::EMqttError;
};

class EMqttAssertionError : public EMqttError {
 public:
  using EMqttError::EMqttError;
};

// The fixed texts of the codec's failures.
inline constexpr const char* kMqttCouldNotRead = "Could not read";
inline constexpr const char* kMqttReservedPacketType = "RESERVED PACKET TYPE";
inline constexpr const char* kMqttAssertionFailure = "Assertion failure";
inline constexpr const char* kMqttSubscribeMismatch =
    "Error Creating subscribe packet - amount of provided Topics does not match the amount of QoSLevels";
inline constexpr const char* kMqttMalformedRemainingLength = "Malformed remaining length";
inline constexpr const char* kMqttInvalidTopicEncoding = "Received topic name is not valid UTF-8";

}  // namespace kestova
