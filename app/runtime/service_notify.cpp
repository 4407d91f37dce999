#include "app/runtime/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/unique_fd.h"

namespace kestova {

bool NotifyServiceManager(const std::string& state) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return true;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t len = std::strlen(path);
  if (len >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path, len);
  // A leading '@' names an abstract socket.
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';
  const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  return sendto(fd.Get(), state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&addr),
                addressLength) == static_cast<ssize_t>(state.size());
}

namespace {

// A positive decimal number from the environment, or none.
std::optional<unsigned long long> EnvironmentNumber(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return std::nullopt;
  unsigned long long value = 0;
  for (const char c : std::string_view(text)) {
    if (c < '0' || c > '9' || value > (~0ull - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::chrono::milliseconds> ServiceWatchdogInterval() {
  const auto usec = EnvironmentNumber("WATCHDOG_USEC");
  if (!usec) return std::nullopt;
  if (std::getenv("WATCHDOG_PID") != nullptr) {
    const auto pid = EnvironmentNumber("WATCHDOG_PID");
    if (!pid || *pid != static_cast<unsigned long long>(getpid())) return std::nullopt;
  }
  const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(*usec / 2));
  return std::max(half, std::chrono::milliseconds(1));
}

}  // namespace kestova
