#pragma once
// The MQTT settings as the display service hands them to its client, with one log line for
// each value that cannot be used as written: a password without a user name (not sent), a
// KeepAlive outside 0 to 65535 (the default instead), a topic that is no valid topic filter (not
// subscribed; the others still are), and a first topic that is no valid topic name (where the
// answers to enumeration requests go). Settings without such problems give no line at all.
//
// Thread safety: pure functions.
#include <cstdint>
#include <string>
#include <vector>

#include "display/settings.h"

namespace kestova {

struct TMqttSettingsCheck {
  uint16_t KeepAlive = 0;  // what the client gets; 0 switches the keep-alive off
  std::vector<std::string> LogLines;
};

TMqttSettingsCheck CheckMqttSettings(const TSettings& ASettings);

// Whether a topic entry is subscribed: not blank, and a valid topic filter.
bool IsSubscribableTopic(const std::string& ATopic);

}  // namespace kestova
