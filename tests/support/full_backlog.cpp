#include "tests/support/full_backlog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "tests/support/support_error.h"

namespace kestova::test {

TFullBacklog::TFullBacklog() : FListener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(FListener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(FListener.Get(), 0) != 0)
    throw ETestSupportError("cannot listen on loopback for a full accept queue");
  socklen_t length = sizeof address;
  ::getsockname(FListener.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  // More fillers than the smallest queue holds; they are never accepted.
  for (int i = 0; i < 3; ++i) {
    UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(filler.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    FFillers.push_back(std::move(filler));
  }
  // The first filler completes (it sits in the queue); wait for that before going on.
  pollfd first{FFillers[0].Get(), POLLOUT, 0};
  if (::poll(&first, 1, 5000) != 1) throw ETestSupportError("the accept queue did not fill");
}

}  // namespace kestova::test
