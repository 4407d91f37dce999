#include "platform/tcp_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace kestova {

namespace {

// Large enough to take a whole MQTT header and a typical small packet in one receive.
constexpr std::size_t ReadBufferSize = 16 * 1024;

std::string HostPort(const std::string& host, std::uint16_t port) {
  if (host.find(':') != std::string::npos) return Format("[%s]:%u", host, port);
  return Format("%s:%u", host, port);
}

const char* FamilyText(TAddressFamily family) {
  switch (family) {
    case TAddressFamily::afIPv4: return " for IPv4";
    case TAddressFamily::afIPv6: return " for IPv6";
    default: return "";
  }
}

std::string NumericAddress(const addrinfo& address) {
  char text[NI_MAXHOST] = "";
  if (::getnameinfo(address.ai_addr, address.ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
    return "?";
  return text;
}

}  // namespace

// A thread inside a call on the descriptor; Close waits until every TUse has ended.
class TTcpSocket::TUse {
 public:
  TUse(TTcpSocket& socket, bool connecting) : FSocket(socket) { FSocket.Enter(connecting); }
  ~TUse() { FSocket.Leave(); }
  TUse(const TUse&) = delete;
  TUse& operator=(const TUse&) = delete;

 private:
  TTcpSocket& FSocket;
};

TTcpSocket::TTcpSocket() : FBuffer(ReadBufferSize) {}

TTcpSocket::~TTcpSocket() { Close(); }

std::string TTcpSocket::Host() const {
  std::lock_guard lock(FLock);
  return FHost;
}

std::uint16_t TTcpSocket::Port() const {
  std::lock_guard lock(FLock);
  return FPort;
}

std::string TTcpSocket::PeerAddress() const {
  std::lock_guard lock(FLock);
  return FPeerAddress;
}

std::string TTcpSocket::Where() const {
  std::lock_guard lock(FLock);
  return HostPort(FHost, FPort);
}

void TTcpSocket::Report(TSocketStatus status, const std::string& detail) {
  if (OnStatus) OnStatus(status, detail);
}

void TTcpSocket::Enter(bool connecting) {
  {
    std::lock_guard lock(FLock);
    if (!FShutDown.load() && (connecting || FConnected.load())) {
      ++FUsers;
      return;
    }
  }
  if (FShutDown.load()) ThrowInterrupted();
  if (Host().empty() && Port() == 0) throw ESocketError("The socket is not connected", ENOTCONN);
  throw ESocketError(Format("The connection to %s is not open", Where()), ENOTCONN);
}

void TTcpSocket::Leave() noexcept {
  // Notify under the lock: a Close waiting in another thread may destroy the object as soon
  // as it sees the count drop.
  std::lock_guard lock(FLock);
  if (--FUsers == 0) FIdle.notify_all();
}

void TTcpSocket::ResetFd() noexcept {
  std::lock_guard lock(FLock);
  FFd.Reset();
}

void TTcpSocket::ThrowInterrupted() const {
  throw ESocketInterrupted(Format("The connection to %s was shut down", Where()));
}

TAddressList ResolveHost(const std::string& host, std::uint16_t port, TAddressFamily family) {
  addrinfo hints{};
  hints.ai_family = family == TAddressFamily::afIPv4   ? AF_INET
                    : family == TAddressFamily::afIPv6 ? AF_INET6
                                                       : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) {
    const int error = rc == EAI_SYSTEM ? errno : 0;
    throw EResolveError(Format("Could not resolve the host name \"%s\"%s: %s", host, FamilyText(family),
                               rc == EAI_SYSTEM ? std::strerror(error) : ::gai_strerror(rc)),
                        error);
  }
  return TAddressList(found, ::freeaddrinfo);
}

void TTcpSocket::Connect(const std::string& host, std::uint16_t port, TAddressFamily family, TDeadline deadline) {
  {
    std::lock_guard lock(FLock);
    if (FConnectTried) throw ESocketError(Format("A socket connects only once (to %s)", HostPort(FHost, FPort)));
    FConnectTried = true;
    FHost = host;
    FPort = port;
  }
  try {
    if (host.empty()) throw EResolveError(Format("No host name given to connect to (port %u)", port));
    if (FShutDown.load()) ThrowInterrupted();

    Report(TSocketStatus::ssResolving, host);
    const TAddressList addresses = ResolveHost(host, port, family);

    TUse use(*this, true);
    std::string lastAddress;
    TConnectAttempt attempt;
    for (const addrinfo* address = addresses.get(); address != nullptr && attempt.Outcome == TConnectAttempt::caFailed;
         address = address->ai_next) {
      lastAddress = NumericAddress(*address);
      attempt = ConnectTo(*address, lastAddress, deadline);
    }
    if (attempt.Outcome == TConnectAttempt::caTimedOut)
      throw ESocketTimeout(Format("Connecting to %s timed out", HostPort(host, port)), ETIMEDOUT);
    if (attempt.Outcome == TConnectAttempt::caFailed) {
      const std::string where =
          lastAddress == host ? HostPort(host, port) : Format("%s (%s)", HostPort(host, port), lastAddress);
      const std::string error = attempt.ErrorCode != 0 ? std::strerror(attempt.ErrorCode) : "";
      throw ESocketError(Format("Could not connect to %s: %s", where, error), attempt.ErrorCode);
    }
    AfterConnect(deadline);
    FConnected = true;
    Report(TSocketStatus::ssConnected, lastAddress);
  } catch (...) {
    // A failed connect leaves nothing open, and the object is not used again.
    {
      std::lock_guard lock(FLock);
      FShutDown = true;
      FConnected = false;
      FFd.Reset();
    }
    FShutdownEvent.Signal();
    throw;
  }
}

TTcpSocket::TConnectAttempt TTcpSocket::ConnectTo(const addrinfo& address, const std::string& numeric,
                                                  TDeadline deadline) {
  const auto failed = [](int error) { return TConnectAttempt{TConnectAttempt::caFailed, error}; };
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return failed(errno);
  {
    std::lock_guard lock(FLock);
    FFd.Reset(fd);
  }
  Report(TSocketStatus::ssAllocated, numeric);
  Report(TSocketStatus::ssConnecting, numeric);
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      const int error = errno;
      ResetFd();
      return failed(error);
    }
    if (!WaitReady(POLLOUT, deadline)) {
      ResetFd();
      return {TConnectAttempt::caTimedOut, 0};
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
    if (soError != 0) {
      ResetFd();
      return failed(soError);
    }
  }
  std::lock_guard lock(FLock);
  FPeerAddress = numeric;
  return {TConnectAttempt::caConnected, 0};
}

void TTcpSocket::AfterConnect(TDeadline) {}

void TTcpSocket::BeforeClose(int) noexcept {}

void TTcpSocket::SetNoDelay(bool noDelay) {
  TUse use(*this, false);
  const int value = noDelay ? 1 : 0;
  if (::setsockopt(Fd(), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
    const int error = errno;
    throw ESocketError(Format("Could not set TCP_NODELAY on %s: %s", Where(), std::strerror(error)), error);
  }
}

void TTcpSocket::SetDeadPeerDetection(std::chrono::seconds idle, std::chrono::seconds interval, int count,
                                      std::chrono::milliseconds userTimeout) {
  TUse use(*this, false);
  const auto set = [&](int level, int name, int value, const char* what) {
    if (::setsockopt(Fd(), level, name, &value, sizeof value) != 0) {
      const int error = errno;
      throw ESocketError(Format("Could not set %s on %s: %s", what, Where(), std::strerror(error)), error);
    }
  };
  set(SOL_SOCKET, SO_KEEPALIVE, 1, "SO_KEEPALIVE");
  set(IPPROTO_TCP, TCP_KEEPIDLE, static_cast<int>(idle.count()), "TCP_KEEPIDLE");
  set(IPPROTO_TCP, TCP_KEEPINTVL, static_cast<int>(interval.count()), "TCP_KEEPINTVL");
  set(IPPROTO_TCP, TCP_KEEPCNT, count, "TCP_KEEPCNT");
  set(IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(userTimeout.count()), "TCP_USER_TIMEOUT");
}

TTcpSocket::TPollResult TTcpSocket::Poll(short events, TDeadline deadline, bool wakeable) {
  pollfd fds[3] = {{Fd(), events, 0}, {FShutdownEvent.Fd(), POLLIN, 0}, {FWake.Fd(), POLLIN, 0}};
  const nfds_t count = wakeable ? 3 : 2;
  for (;;) {
    if (FShutDown.load()) ThrowInterrupted();
    const int rc = ::poll(fds, count, deadline.PollTimeout());
    if (rc < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      throw ESocketError(Format("Waiting on the connection to %s failed: %s", Where(), std::strerror(error)), error);
    }
    if (fds[1].revents != 0) ThrowInterrupted();
    // Only the thread that resets the event reports the wake; another may have taken it.
    if (wakeable && fds[2].revents != 0 && FWake.Consume()) return TPollResult::prWoken;
    // Errors and hang-ups count as ready: the next transfer reports them.
    if (fds[0].revents != 0) return TPollResult::prReady;
    if (rc == 0 && deadline.Expired()) return TPollResult::prTimeout;
  }
}

bool TTcpSocket::WaitReady(short events, TDeadline deadline) {
  return Poll(events, deadline, false) == TPollResult::prReady;
}

TTcpSocket::TIoStatus TTcpSocket::RawRead(void* data, std::size_t size, std::size_t& done) {
  for (;;) {
    const ssize_t n = ::recv(Fd(), data, size, 0);
    if (n > 0) {
      done = static_cast<std::size_t>(n);
      return TIoStatus::ioDone;
    }
    if (n == 0) return TIoStatus::ioEof;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return TIoStatus::ioWantRead;
    const int error = errno;
    throw ESocketError(Format("Reading from %s failed: %s", Where(), std::strerror(error)), error);
  }
}

TTcpSocket::TIoStatus TTcpSocket::RawWrite(const void* data, std::size_t size, std::size_t& done) {
  for (;;) {
    const ssize_t n = ::send(Fd(), data, size, MSG_NOSIGNAL);
    if (n >= 0) {
      done = static_cast<std::size_t>(n);
      return TIoStatus::ioDone;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return TIoStatus::ioWantWrite;
    const int error = errno;
    throw ESocketError(Format("Writing to %s failed: %s", Where(), std::strerror(error)), error);
  }
}

TTcpSocket::TIoStatus TTcpSocket::Fill() {
  std::size_t n = 0;
  const TIoStatus status = RawRead(FBuffer.data(), FBuffer.size(), n);
  if (status == TIoStatus::ioDone) {
    FBufferBegin = 0;
    FBufferEnd = n;
  }
  return status;
}

TSocketWait TTcpSocket::WaitForData(TDeadline deadline) {
  if (HasBufferedData()) return TSocketWait::swData;
  TUse use(*this, false);
  for (;;) {
    short events = POLLIN;
    switch (Fill()) {
      case TIoStatus::ioDone: return TSocketWait::swData;
      case TIoStatus::ioEof: return TSocketWait::swClosed;
      case TIoStatus::ioWantRead: events = POLLIN; break;
      case TIoStatus::ioWantWrite: events = POLLOUT; break;
    }
    switch (Poll(events, deadline, true)) {
      case TPollResult::prWoken: return TSocketWait::swWoken;
      case TPollResult::prTimeout: return TSocketWait::swTimeout;
      case TPollResult::prReady: break;
    }
  }
}

std::size_t TTcpSocket::Read(void* data, std::size_t size, TDeadline deadline, bool exact) {
  auto* out = static_cast<std::uint8_t*>(data);
  std::size_t got = 0;
  const auto takeBuffered = [&] {
    const std::size_t n = std::min(size - got, FBufferEnd - FBufferBegin);
    std::memcpy(out + got, FBuffer.data() + FBufferBegin, n);
    FBufferBegin += n;
    got += n;
  };
  if (HasBufferedData()) takeBuffered();
  if (got == size || (got > 0 && !exact)) return got;

  TUse use(*this, false);
  while (got < size && (exact || got == 0)) {
    std::size_t n = 0;
    TIoStatus status;
    if (size - got >= FBuffer.size()) {
      // Large reads go straight to the caller's memory.
      status = RawRead(out + got, size - got, n);
      if (status == TIoStatus::ioDone) got += n;
    } else {
      status = Fill();
      if (status == TIoStatus::ioDone) takeBuffered();
    }
    if (status == TIoStatus::ioDone) continue;
    if (status == TIoStatus::ioEof) {
      throw ESocketClosed(exact && got > 0
                              ? Format("Connection to %s closed by the peer after %u of %u bytes", Where(), got, size)
                              : Format("Connection to %s closed by the peer", Where()));
    }
    if (!WaitReady(status == TIoStatus::ioWantWrite ? POLLOUT : POLLIN, deadline)) {
      throw ESocketTimeout(exact ? Format("Reading from %s timed out after %u of %u bytes", Where(), got, size)
                                 : Format("Reading from %s timed out", Where()),
                           ETIMEDOUT);
    }
  }
  return got;
}

std::size_t TTcpSocket::ReadSome(void* data, std::size_t size, TDeadline deadline) {
  if (size == 0) return 0;
  return Read(data, size, deadline, false);
}

std::uint8_t TTcpSocket::ReadByte(TDeadline deadline) {
  if (HasBufferedData()) return FBuffer[FBufferBegin++];
  std::uint8_t byte = 0;
  Read(&byte, 1, deadline, true);
  return byte;
}

void TTcpSocket::ReadExact(void* data, std::size_t size, TDeadline deadline) {
  if (size > 0) Read(data, size, deadline, true);
}

void TTcpSocket::WriteAll(const void* data, std::size_t size, TDeadline deadline) {
  if (size == 0) return;
  TUse use(*this, false);
  const auto* in = static_cast<const std::uint8_t*>(data);
  std::size_t sent = 0;
  while (sent < size) {
    std::size_t n = 0;
    const TIoStatus status = RawWrite(in + sent, size - sent, n);
    if (status == TIoStatus::ioDone) {
      sent += n;
      continue;
    }
    if (status == TIoStatus::ioEof) {
      throw ESocketClosed(Format("Connection to %s closed by the peer", Where()));
    }
    if (!WaitReady(status == TIoStatus::ioWantRead ? POLLIN : POLLOUT, deadline)) {
      throw ESocketTimeout(Format("Writing to %s timed out after %u of %u bytes", Where(), sent, size), ETIMEDOUT);
    }
  }
}

void TTcpSocket::Wake() noexcept { FWake.Signal(); }

void TTcpSocket::Shutdown() noexcept {
  std::lock_guard lock(FLock);
  FShutDown = true;
  FShutdownEvent.Signal();
  if (FFd) ::shutdown(FFd.Get(), SHUT_RDWR);
}

void TTcpSocket::Close() noexcept {
  std::unique_lock lock(FLock);
  FShutDown = true;
  FShutdownEvent.Signal();
  FIdle.wait(lock, [this] { return FUsers == 0; });
  if (!FFd) return;
  UniqueFd fd = std::move(FFd);
  const bool wasConnected = FConnected.exchange(false);
  lock.unlock();
  if (wasConnected) BeforeClose(fd.Get());
  // close() of a socket reports nothing a caller could act on.
  fd.Reset();
}

}  // namespace kestova
