#include "mqtt/global.h"

#include <array>

namespace kestova {

std::string_view MqttQoSName(TMqttQoS AQoS) noexcept {
  static constexpr std::array<std::string_view, 4> kNames = {"qosAtMostOnce", "qosAtLeastOnce", "qosExactlyOnce",
                                                             "qosRESERVED"};
  // Only two bits are ever stored; mask so a stray value cannot index past the table.
  return kNames[static_cast<uint8_t>(AQoS) & 0x03];
}

std::string_view MqttPacketTypeName(TMqttPacketType AType) noexcept {
  static constexpr std::array<std::string_view, 16> kNames = {
      "mtRESERVED0", "mtCONNECT",  "mtCONNACK",    "mtPUBLISH",   "mtPUBACK",      "mtPUBREC",
      "mtPUBREL",    "mtPUBCOMP",  "mtSUBSCRIBE",  "mtSUBACK",    "mtUNSUBSCRIBE", "mtUNSUBACK",
      "mtPINGREQ",   "mtPINGRESP", "mtDISCONNECT", "mtRESERVED15"};
  return kNames[static_cast<uint8_t>(AType) & 0x0F];
}

std::string_view MqttConnectionStatusName(TMqttConnectionStatus AStatus) noexcept {
  static constexpr std::array<std::string_view, 10> kNames = {"csNotConnected",
                                                              "csConnectionRejected_InvalidProtocolVersion",
                                                              "csConnectionRejected_InvalidIdentifier",
                                                              "csConnectionRejected_ServerUnavailable",
                                                              "csConnectionRejected_InvalidCredentials",
                                                              "csConnectionRejected_ClientNotAuthorized",
                                                              "csConnectionLost",
                                                              "csConnecting",
                                                              "csReconnecting",
                                                              "csConnected"};
  const auto index = static_cast<uint8_t>(AStatus);
  return index < kNames.size() ? kNames[index] : std::string_view("csUnknown");
}

}  // namespace kestova
