#pragma once
// The service manager's notification protocol (systemd's sd_notify), spoken without libsystemd.
#include <chrono>
#include <optional>
#include <string>

namespace kestova {

// Tells systemd (or another manager speaking its protocol) a state such as "READY=1" through
// the datagram socket named by NOTIFY_SOCKET. Does nothing without one; false when sending failed.
bool NotifyServiceManager(const std::string& state);

// How often a watched service must send "WATCHDOG=1": half of WATCHDOG_USEC, so one late ping
// still arrives in time. None when the manager does not watch this process (no WATCHDOG_USEC, or
// a WATCHDOG_PID naming another process) or the value is not a positive number.
std::optional<std::chrono::milliseconds> ServiceWatchdogInterval();

}  // namespace kestova
