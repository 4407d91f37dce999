#include "tests/support/tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/format.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/support_error.h"

namespace kestova::test {

namespace {

// A direction stops reading while this much waits to be written on.
constexpr std::size_t kBufferLimit = 64 * 1024;

// Write what the socket takes now; false when the connection failed.
bool Flush(int fd, std::string& buffer) {
  while (!buffer.empty()) {
    const ssize_t n = ::send(fd, buffer.data(), buffer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    buffer.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

struct TTcpProxy::TLink {
  UniqueFd Client;
  UniqueFd Upstream;
  std::string ToUpstream;
  std::string ToClient;
};

TTcpProxy::TTcpProxy(std::uint16_t targetPort) : FTargetPort(targetPort), FFrozen(targetPort == 0) {
  FListener = BindLoopback(false, FPort);
  if (::listen(FListener.Get(), 64) != 0) throw ETestSupportError(Format("listen failed: %s", std::strerror(errno)));
  ::fcntl(FListener.Get(), F_SETFL, ::fcntl(FListener.Get(), F_GETFL) | O_NONBLOCK);
  FThread = std::thread([this] { Run(); });
}

TTcpProxy::~TTcpProxy() {
  {
    std::lock_guard lock(FLock);
    FStopping = true;
  }
  FWake.Signal();
  FThread.join();
}

void TTcpProxy::Freeze() {
  {
    std::lock_guard lock(FLock);
    FFrozen = true;
  }
  FWake.Signal();
}

void TTcpProxy::Forward() {
  {
    std::lock_guard lock(FLock);
    FFrozen = FTargetPort == 0;
  }
  FWake.Signal();
}

void TTcpProxy::Cut() {
  {
    std::lock_guard lock(FLock);
    FCutPending = true;
  }
  FWake.Signal();
}

int TTcpProxy::Accepted() const {
  std::lock_guard lock(FLock);
  return FAccepted;
}

bool TTcpProxy::ConnectUpstream(TLink& link) const {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(FTargetPort);
  // A loopback connect is answered at once: accepted, or refused while the broker is down.
  if (!fd || ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) | O_NONBLOCK);
  link.Upstream = std::move(fd);
  return true;
}

void TTcpProxy::AcceptAll() {
  for (;;) {
    UniqueFd client(::accept4(FListener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!client) return;
    FLinks.push_back(TLink{std::move(client), {}, {}, {}});
    std::lock_guard lock(FLock);
    ++FAccepted;
  }
}

bool TTcpProxy::Pump(TLink& link, bool fromClient) {
  const int from = fromClient ? link.Client.Get() : link.Upstream.Get();
  std::string& buffer = fromClient ? link.ToUpstream : link.ToClient;
  char chunk[16 * 1024];
  const ssize_t n = ::recv(from, chunk, sizeof chunk, MSG_DONTWAIT);
  if (n == 0) return false;
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  buffer.append(chunk, static_cast<std::size_t>(n));
  return true;
}

void TTcpProxy::Run() {
  for (;;) {
    bool frozen = false;
    {
      std::lock_guard lock(FLock);
      if (FStopping) break;
      frozen = FFrozen;
      if (FCutPending) FLinks.clear();
      FCutPending = false;
    }
    std::vector<pollfd> fds{{FListener.Get(), POLLIN, 0}, {FWake.Fd(), POLLIN, 0}};
    if (!frozen) {
      for (auto link = FLinks.begin(); link != FLinks.end();) {
        if (!link->Upstream && !ConnectUpstream(*link)) {
          link = FLinks.erase(link);  // the broker is down: the client sees its connection end
          continue;
        }
        const short client = static_cast<short>((link->ToUpstream.size() < kBufferLimit ? POLLIN : 0) |
                                                (link->ToClient.empty() ? 0 : POLLOUT));
        const short upstream = static_cast<short>((link->ToClient.size() < kBufferLimit ? POLLIN : 0) |
                                                  (link->ToUpstream.empty() ? 0 : POLLOUT));
        fds.push_back({link->Client.Get(), client, 0});
        fds.push_back({link->Upstream.Get(), upstream, 0});
        ++link;
      }
    }
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) FWake.Consume();
    const std::size_t links = frozen ? 0 : FLinks.size();
    std::vector<bool> alive(links, true);
    for (std::size_t i = 0; i < links; ++i) {
      TLink& link = FLinks[i];
      const short client = fds[2 + 2 * i].revents;
      const short upstream = fds[3 + 2 * i].revents;
      bool ok = true;
      if (client & (POLLIN | POLLHUP | POLLERR)) ok = Pump(link, true);
      if (ok && (upstream & (POLLIN | POLLHUP | POLLERR))) ok = Pump(link, false);
      ok = ok && Flush(link.Upstream.Get(), link.ToUpstream) && Flush(link.Client.Get(), link.ToClient);
      alive[i] = ok;
    }
    // Links accepted below come after the polled ones, so the indexes above still hold.
    for (std::size_t i = links; i-- > 0;) {
      if (!alive[i]) FLinks.erase(FLinks.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (fds[0].revents != 0) AcceptAll();
  }
  FLinks.clear();
}

}  // namespace kestova::test
