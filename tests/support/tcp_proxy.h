#pragma once
// A fault-injecting TCP proxy on loopback, between a client and its broker. It listens on a free
// 127.0.0.1 port and forwards each accepted connection to the target. The faults:
//  - Freeze: keep every socket open and forward nothing, in either direction, on the current
//    connections and on those accepted later (a silent path: Wi-Fi roaming, a flushed NAT
//    table, a frozen host); Forward resumes, and what was held back flows on.
//  - Cut: close every current connection on both sides (a broken path).
// Without a target port it is a listener that accepts and never answers (a half-started
// broker, a port forwarded to the wrong service).
//
// One owned thread does the work, blocked in poll(2) on the sockets and a wake event.
// Thread safety: every member from any thread.
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "platform/wake_event.h"

namespace kestova::test {

class TTcpProxy {
 public:
  // Forwarding to 127.0.0.1:targetPort; targetPort 0 makes the silent listener.
  explicit TTcpProxy(std::uint16_t targetPort);
  // Closes every connection and stops the thread.
  ~TTcpProxy();
  TTcpProxy(const TTcpProxy&) = delete;
  TTcpProxy& operator=(const TTcpProxy&) = delete;

  std::string Host() const { return "127.0.0.1"; }
  std::uint16_t Port() const noexcept { return FPort; }

  void Freeze();
  void Forward();
  void Cut();

  // Connections accepted since construction.
  int Accepted() const;

 private:
  struct TLink;
  void Run();
  void AcceptAll();
  // One transfer step of a link; false when the link ended.
  bool Pump(TLink& link, bool fromClient);
  bool ConnectUpstream(TLink& link) const;

  std::uint16_t FPort = 0;
  std::uint16_t FTargetPort = 0;
  UniqueFd FListener;
  TWakeEvent FWake;

  mutable std::mutex FLock;  // guards the fields below
  bool FFrozen = false;
  bool FCutPending = false;
  bool FStopping = false;
  int FAccepted = 0;

  std::vector<TLink> FLinks;  // the thread's own
  std::thread FThread;
};

}  // namespace kestova::test
