#include "tests/support/loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/deadline.h"
#include "tests/support/hex.h"
#include "tests/support/support_error.h"

namespace kestova::test {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

UniqueFd BindLoopback(bool ipv6, std::uint16_t& port) {
  UniqueFd fd(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) throw ETestSupportError(Format("socket failed: %s", std::strerror(errno)));
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (ipv6) {
    auto& address = reinterpret_cast<sockaddr_in6&>(storage);
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    length = sizeof address;
  } else {
    auto& address = reinterpret_cast<sockaddr_in&>(storage);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof address;
  }
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&storage), length) != 0)
    throw ETestSupportError(Format("bind to the %s loopback failed: %s", ipv6 ? "IPv6" : "IPv4", std::strerror(errno)));
  length = sizeof storage;
  ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&storage), &length);
  port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                    : reinterpret_cast<sockaddr_in&>(storage).sin_port);
  return fd;
}

TLoopbackPeer::TLoopbackPeer(bool ipv6) : FHost(ipv6 ? "::1" : "127.0.0.1") {
  FListener = BindLoopback(ipv6, FPort);
  if (::listen(FListener.Get(), 4) != 0) throw ETestSupportError(Format("listen failed: %s", std::strerror(errno)));
}

TLoopbackPeer::~TLoopbackPeer() {
  if (FScript.joinable()) FScript.join();
}

void TLoopbackPeer::WaitFor(int fd, short events, Clock::time_point deadline, const char* what) {
  const TDeadline limit = TDeadline::At(deadline);
  pollfd entry{fd, events, 0};
  for (;;) {
    const int rc = ::poll(&entry, 1, limit.PollTimeout());
    if (rc > 0) return;
    if (rc < 0 && errno != EINTR) throw ETestSupportError(Format("poll failed: %s", std::strerror(errno)));
    if (rc == 0 && limit.Expired())
      throw ETestSupportError(Format("Loopback peer on port %u: timed out %s", FPort, what));
  }
}

void TLoopbackPeer::Accept(std::chrono::milliseconds timeout) {
  if (!FListener) throw ETestSupportError("Loopback peer: not listening any more");
  WaitFor(FListener.Get(), POLLIN, Clock::now() + timeout, "waiting for a client");
  FClient.Reset(::accept4(FListener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!FClient) throw ETestSupportError(Format("accept failed: %s", std::strerror(errno)));
}

std::string TLoopbackPeer::ReadExact(std::size_t count, std::chrono::milliseconds timeout) {
  if (!FClient) throw ETestSupportError("Loopback peer: no client to read from");
  const auto deadline = Clock::now() + timeout;
  std::string bytes;
  while (bytes.size() < count) {
    try {
      WaitFor(FClient.Get(), POLLIN, deadline, "reading");
    } catch (const ETestSupportError&) {
      throw ETestSupportError(Format("Loopback peer on port %u: timed out waiting for %u bytes, got %u: %s", FPort,
                                     count, bytes.size(), ToHex(bytes)));
    }
    char buffer[4096];
    const std::size_t want = std::min(sizeof buffer, count - bytes.size());
    const ssize_t n = ::recv(FClient.Get(), buffer, want, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) throw ETestSupportError(Format("Loopback peer: recv failed: %s", std::strerror(errno)));
    if (n == 0)
      throw ETestSupportError(Format("Loopback peer on port %u: client closed after %u of %u bytes: %s", FPort,
                                     bytes.size(), count, ToHex(bytes)));
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::string TLoopbackPeer::ReadSome(std::chrono::milliseconds timeout) {
  if (!FClient) throw ETestSupportError("Loopback peer: no client to read from");
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    WaitFor(FClient.Get(), POLLIN, deadline, "waiting for bytes");
    char buffer[4096];
    const ssize_t n = ::recv(FClient.Get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) throw ETestSupportError(Format("Loopback peer: recv failed: %s", std::strerror(errno)));
    if (n == 0) throw ETestSupportError(Format("Loopback peer on port %u: client closed", FPort));
    return std::string(buffer, static_cast<std::size_t>(n));
  }
}

std::string TLoopbackPeer::ReadUntilClosed(std::chrono::milliseconds timeout) {
  if (!FClient) throw ETestSupportError("Loopback peer: no client to read from");
  const auto deadline = Clock::now() + timeout;
  std::string bytes;
  for (;;) {
    try {
      WaitFor(FClient.Get(), POLLIN, deadline, "waiting for the client to close");
    } catch (const ETestSupportError&) {
      throw ETestSupportError(
          Format("Loopback peer on port %u: the client did not close; it sent: %s", FPort, ToHex(bytes)));
    }
    char buffer[4096];
    const ssize_t n = ::recv(FClient.Get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0 && errno == ECONNRESET) return bytes;
    if (n < 0) throw ETestSupportError(Format("Loopback peer: recv failed: %s", std::strerror(errno)));
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

void TLoopbackPeer::Write(std::string_view bytes, std::chrono::milliseconds timeout) {
  if (!FClient) throw ETestSupportError("Loopback peer: no client to write to");
  const auto deadline = Clock::now() + timeout;
  while (!bytes.empty()) {
    const ssize_t n = ::send(FClient.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      WaitFor(FClient.Get(), POLLOUT, deadline, "writing");
      continue;
    }
    throw ETestSupportError(Format("Loopback peer: send failed: %s", std::strerror(errno)));
  }
}

void TLoopbackPeer::CloseClient() { FClient.Reset(); }

void TLoopbackPeer::ResetClient() {
  if (!FClient) return;
  // A zero linger time turns close into a reset.
  const linger abort{1, 0};
  ::setsockopt(FClient.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  FClient.Reset();
}

void TLoopbackPeer::StopListening() { FListener.Reset(); }

void TLoopbackPeer::RunAsync(std::function<void(TLoopbackPeer&)> script) {
  if (FScript.joinable()) throw ETestSupportError("Loopback peer: a script is already running");
  FScriptError = nullptr;
  FScript = std::thread([this, script = std::move(script)] {
    try {
      script(*this);
    } catch (...) {
      FScriptError = std::current_exception();
    }
  });
}

void TLoopbackPeer::Join() {
  if (FScript.joinable()) FScript.join();
  if (FScriptError) std::rethrow_exception(std::exchange(FScriptError, nullptr));
}

std::uint16_t FreeLoopbackPort(bool ipv6) {
  std::uint16_t port = 0;
  BindLoopback(ipv6, port);
  return port;
}

bool IPv6LoopbackAvailable() {
  try {
    FreeLoopbackPort(true);
    return true;
  } catch (const ETestSupportError&) {
    return false;
  }
}

}  // namespace kestova::test
