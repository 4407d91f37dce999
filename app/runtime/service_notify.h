#pragma once
#include <string>

namespace kestova {

// Tells systemd (or another manager speaking its protocol) a state such as "READY=1" through
// the datagram socket named by NOTIFY_SOCKET. Does nothing without one; false when sending failed.
bool NotifyServiceManager(const std::string& state);

}  // namespace kestova
