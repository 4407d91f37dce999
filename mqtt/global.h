#pragma once
// Declarations shared by every part of the MQTT client: limits, defaults, the enumerations of
// the wire format and of the client, and the array types. Enumerations have a fixed byte-wide
// underlying type so a received value outside the named ones can still be held.
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestova {

inline constexpr int MQTT_DEFAULT_PORT = 1883;
inline constexpr int MQTT_DEFAULT_KEEPALIVE_INTERVAL = 120;  // seconds
inline constexpr int MQTT_DEFAULT_RECONNECT_INTERVAL = 30;   // seconds
// Largest remaining length four length bytes can carry.
inline constexpr uint32_t MQTT_MAX_MESSAGE_SIZE = 268435455;
inline constexpr int MQTT_MAX_CLIENT_IDENTIFIER_LENGTH = 23;
// A received remaining length takes at most this many bytes.
inline constexpr std::size_t MQTT_MAX_REMAINING_LENGTH_BYTES = 4;
// A length-prefixed text or byte field holds at most this many bytes.
inline constexpr std::size_t MQTT_MAX_FIELD_LENGTH = 65535;

enum class TMqttProtocolVersion : uint8_t { mqtt_v3_1_1 = 4 };

enum class TMqttQoS : uint8_t { qosAtMostOnce = 0, qosAtLeastOnce = 1, qosExactlyOnce = 2, qosRESERVED = 3 };

enum class TMqttPacketType : uint8_t {
  mtRESERVED0 = 0,
  mtCONNECT = 1,
  mtCONNACK = 2,
  mtPUBLISH = 3,
  mtPUBACK = 4,
  mtPUBREC = 5,
  mtPUBREL = 6,
  mtPUBCOMP = 7,
  mtSUBSCRIBE = 8,
  mtSUBACK = 9,
  mtUNSUBSCRIBE = 10,
  mtUNSUBACK = 11,
  mtPINGREQ = 12,
  mtPINGRESP = 13,
  mtDISCONNECT = 14,
  mtRESERVED15 = 15
};

enum class TMqttConnectionStatus : uint8_t {
  csNotConnected = 0,
  csConnectionRejected_InvalidProtocolVersion = 1,
  csConnectionRejected_InvalidIdentifier = 2,
  csConnectionRejected_ServerUnavailable = 3,
  csConnectionRejected_InvalidCredentials = 4,
  csConnectionRejected_ClientNotAuthorized = 5,
  csConnectionLost = 6,
  csConnecting = 7,
  csReconnecting = 8,
  csConnected = 9
};

using TMqttBytes = std::vector<uint8_t>;
// Read-only view of received or encoded bytes; a TMqttBytes converts to it implicitly.
using TMqttByteView = std::span<const uint8_t>;
using TMqttStringArray = std::vector<std::string>;
using TMqttQosArray = std::vector<TMqttQoS>;

// Timestamps of the session and its queue entries. A default-constructed value is the clock's
// epoch and stands for "never".
using TMqttClock = std::chrono::steady_clock;
using TMqttDateTime = TMqttClock::time_point;

// What the writer last sent or the client last received, for the packet events.
struct TMqttPacketInfo {
  uint16_t PacketId = 0;
  TMqttPacketType PacketType = TMqttPacketType::mtRESERVED0;
  TMqttQoS PacketQos = TMqttQoS::qosAtMostOnce;
  bool IsDuplicate = false;
  bool IsRetained = false;
};

// One entry of a subscription acknowledgement.
struct TMqttSubscription {
  std::string Topic;
  bool Accepted = false;
  TMqttQoS MaxQoS = TMqttQoS::qosAtMostOnce;
};
using TMqttSubscriptions = std::vector<TMqttSubscription>;

// Names of the enumeration values as the debug renderings print them ("mtPUBLISH").
std::string_view MqttQoSName(TMqttQoS AQoS) noexcept;
std::string_view MqttPacketTypeName(TMqttPacketType AType) noexcept;
std::string_view MqttConnectionStatusName(TMqttConnectionStatus AStatus) noexcept;

// Booleans in the debug renderings: "-1" for true, "0" for false.
inline std::string_view MqttBoolText(bool AValue) noexcept { return AValue ? "-1" : "0"; }

}  // namespace kestova
