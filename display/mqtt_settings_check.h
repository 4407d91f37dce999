#pragma once
// The MQTT settings as the display service hands them to its client, with one problem (a log
// line at start) for each value that cannot be used as written: a password without a user
// name (not sent), a KeepAlive outside 0 to 65535 (the default instead), a topic that is no
// valid topic filter (not subscribed; the others still are), a first topic that is no valid
// topic name (where the answers to enumeration requests go), a StatusTopic that is no valid
// topic name (not used), a CA file that cannot be read, TLS settings without TLS, and TLS
// whose certificate checks are off (a warning at every start). Settings without such problems
// give no line at all.
//
// Thread safety: pure functions (the CA file is looked at with access(2)).
#include <cstdint>
#include <string>
#include <vector>

#include "display/settings.h"
#include "display/settings_check.h"

namespace kestova {

// What the status topic carries: "online" after every CONNACK, "offline" as the last will and
// before a clean stop.
inline constexpr const char* kStatusOnline = "online";
inline constexpr const char* kStatusOffline = "offline";

struct TMqttSettingsCheck {
  uint16_t KeepAlive = 0;       // what the client gets; 0 switches the keep-alive off
  bool UseStatusTopic = false;  // StatusTopic is set and a valid topic name
  TSettingsProblems Problems;
};

TMqttSettingsCheck CheckMqttSettings(const TSettings& settings);

// Whether a topic entry is subscribed: not blank, and a valid topic filter.
bool IsSubscribableTopic(const std::string& topic);

// The start's line for UseTLS=1: which port, and what the broker's certificate is checked against.
std::string MqttTlsStartLine(const TSettings& settings);

}  // namespace kestova
