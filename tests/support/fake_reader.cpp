#include "tests/support/fake_reader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/format.h"
#include "tests/support/hex.h"
#include "tests/support/support_error.h"

namespace kestova::test {

TFakeReader::TFakeReader() {
  FListener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!FListener || ::bind(FListener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(FListener.Get(), 16) != 0)
    throw ETestSupportError(Format("Fake reader: cannot listen on loopback: %s", std::strerror(errno)));
  socklen_t length = sizeof address;
  ::getsockname(FListener.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FThread = std::thread([this] {
    pthread_setname_np(pthread_self(), "fake-reader");
    Serve();
  });
}

TFakeReader::~TFakeReader() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.Signal();
  FThread.join();
}

void TFakeReader::Answer(std::string request, std::string reply, bool hangUp) {
  std::lock_guard lock(FLock);
  FAnswers.emplace(std::move(request), TAnswer{std::move(reply), hangUp});
}

void TFakeReader::Write(std::size_t index, std::string bytes, bool hangUp) {
  {
    std::lock_guard lock(FLock);
    if (FFirst + index >= FPeers.size()) throw ETestSupportError(Format("Fake reader: no connection %u", index));
    FPeers[FFirst + index].Outgoing += bytes;
    FPeers[FFirst + index].HangUp = FPeers[FFirst + index].HangUp || hangUp;
  }
  FWake.Signal();
}

void TFakeReader::StopListening() {
  {
    std::lock_guard lock(FLock);
    FListener.Reset();
  }
  FWake.Signal();
}

std::vector<TFakeReader::TConnection> TFakeReader::Connections() const {
  std::lock_guard lock(FLock);
  return {FConnections.begin() + static_cast<std::ptrdiff_t>(FFirst), FConnections.end()};
}

bool TFakeReader::WaitUntil(std::chrono::milliseconds timeout, const std::function<bool()>& done) const {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, timeout, done);
}

bool TFakeReader::WaitForAccepted(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil(timeout, [&] { return FConnections.size() - FFirst >= count; });
}

bool TFakeReader::WaitForClosed(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil(timeout, [&] {
    std::size_t closed = 0;
    for (std::size_t i = FFirst; i < FConnections.size(); ++i) closed += FConnections[i].Closed ? 1 : 0;
    return closed >= count;
  });
}

std::vector<std::string> TFakeReader::ReceivedBeforeKnock(std::chrono::milliseconds timeout) {
  {
    UniqueFd knock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(FPort);
    if (!knock || ::connect(knock.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(knock.Get(), "#", 1, MSG_NOSIGNAL) != 1)
      throw ETestSupportError(Format("Fake reader: cannot knock: %s", std::strerror(errno)));
  }
  std::vector<std::string> received;
  {
    std::unique_lock lock(FLock);
    const bool done = FChanged.wait_for(lock, timeout, [&] {
      for (std::size_t i = FFirst; i < FConnections.size(); ++i)
        if (!FConnections[i].Closed) return false;
      return FConnections.size() > FFirst && FConnections.back().Received == "#";
    });
    std::string seen;
    for (std::size_t i = FFirst; i < FConnections.size(); ++i) {
      const TConnection& connection = FConnections[i];
      received.push_back(connection.Received);
      seen += Format(" [%s%s]", ToHex(connection.Received), connection.Closed ? "" : " open");
    }
    if (!done)
      throw ETestSupportError(Format("Fake reader: the connections did not all close after the knock; seen:%s", seen));
    FFirst = FConnections.size();
  }
  received.pop_back();
  return received;
}

void TFakeReader::Serve() {
  for (;;) {
    // The wake event first, then the listener while there is one, then the open peers.
    std::vector<pollfd> fds{{FWake.Fd(), POLLIN, 0}};
    std::vector<std::size_t> peerOf;
    int listener = -1;
    {
      std::lock_guard lock(FLock);
      if (FStop) return;
      if (FListener) {
        listener = FListener.Get();
        fds.push_back({listener, POLLIN, 0});
      }
      for (std::size_t i = 0; i < FPeers.size(); ++i) {
        if (FPeers[i].Fd && FPeers[i].HangUp && FPeers[i].Outgoing.empty()) FlushLocked(i);
        if (!FPeers[i].Fd) continue;
        const short events = static_cast<short>(POLLIN | (FPeers[i].Outgoing.empty() ? 0 : POLLOUT));
        fds.push_back({FPeers[i].Fd.Get(), events, 0});
        peerOf.push_back(i);
      }
    }
    FChanged.notify_all();  // a hang-up above closed a connection
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    FWake.Consume();
    const std::size_t firstPeer = listener >= 0 ? 2 : 1;
    if (listener >= 0 && fds[1].revents != 0) AcceptOne();
    for (std::size_t k = firstPeer; k < fds.size(); ++k) {
      const std::size_t index = peerOf[k - firstPeer];
      if ((fds[k].revents & POLLOUT) != 0) Flush(index);
      if ((fds[k].revents & (POLLIN | POLLHUP | POLLERR)) != 0) ReadFrom(index);
    }
  }
}

void TFakeReader::AcceptOne() {
  {
    std::lock_guard lock(FLock);
    if (!FListener) return;  // stopped meanwhile
    UniqueFd peer(::accept4(FListener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!peer) return;
    FPeers.push_back({std::move(peer), {}});
    FConnections.emplace_back();
  }
  FChanged.notify_all();
}

bool TFakeReader::ReadFrom(std::size_t index) {
  int fd = -1;
  {
    std::lock_guard lock(FLock);
    fd = FPeers[index].Fd.Get();
  }
  char buffer[4096];
  const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  {
    std::lock_guard lock(FLock);
    TConnection& connection = FConnections[index];
    if (n <= 0) {
      connection.Closed = true;
      FPeers[index].Fd.Reset();
    } else {
      connection.Received.append(buffer, static_cast<std::size_t>(n));
      const auto [from, to] = FAnswers.equal_range(connection.Received);
      for (auto answer = from; answer != to; ++answer) {
        FPeers[index].Outgoing += answer->second.Reply;
        FPeers[index].HangUp = FPeers[index].HangUp || answer->second.HangUp;
      }
    }
  }
  FChanged.notify_all();
  if (n > 0) Flush(index);
  return n > 0;
}

void TFakeReader::Flush(std::size_t index) {
  {
    std::lock_guard lock(FLock);
    FlushLocked(index);
  }
  FChanged.notify_all();
}

void TFakeReader::FlushLocked(std::size_t index) {
  TPeer& peer = FPeers[index];
  while (peer.Fd && !peer.Outgoing.empty()) {
    const ssize_t n = ::send(peer.Fd.Get(), peer.Outgoing.data(), peer.Outgoing.size(), MSG_NOSIGNAL);
    if (n > 0) {
      peer.Outgoing.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Full (the rest goes when the socket is writable again) or gone (the read side notices).
    break;
  }
  if (peer.Fd && peer.HangUp && peer.Outgoing.empty()) {
    peer.Fd.Reset();
    FConnections[index].Closed = true;
  }
}

}  // namespace kestova::test
