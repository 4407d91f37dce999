#include "app/runtime/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

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
  const auto addr_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  return sendto(fd.Get(), state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&addr),
                addr_len) == static_cast<ssize_t>(state.size());
}

}  // namespace kestova
