#pragma once
// A scripted TCP peer on loopback for exact-byte tests of clients: it listens on a free port
// from construction on, accepts a client, reads exactly the bytes a test expects (with a time
// limit), writes bytes back and closes, gently or with a reset. A script can run on a thread of
// its own (RunAsync) while the test drives the client; Join hands back the script's failure.
//
// Thread safety: one thread drives the peer at a time (the test, or the script's thread between
// RunAsync and Join). Host and Port may be read from any thread.
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/unique_fd.h"

namespace kestova::test {

class TLoopbackPeer {
 public:
  static constexpr std::chrono::milliseconds DefaultTimeout{10000};

  // Listen on 127.0.0.1 (or ::1) on a port the kernel picks.
  explicit TLoopbackPeer(bool ipv6 = false);
  // Joins a script still running (its failure is dropped: call Join to see it).
  ~TLoopbackPeer();
  TLoopbackPeer(const TLoopbackPeer&) = delete;
  TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

  const std::string& Host() const noexcept { return FHost; }
  std::uint16_t Port() const noexcept { return FPort; }

  // Accept the next client (replacing the current one); ETestSupportError at the time limit.
  void Accept(std::chrono::milliseconds timeout = DefaultTimeout);
  bool HasClient() const noexcept { return FClient.Valid(); }
  // Exactly `count` bytes; ETestSupportError (naming what did arrive) at the time limit or
  // when the client closes first.
  std::string ReadExact(std::size_t count, std::chrono::milliseconds timeout = DefaultTimeout);
  // What has arrived, at least one byte.
  std::string ReadSome(std::chrono::milliseconds timeout = DefaultTimeout);
  // Everything until the client closes its side; ETestSupportError at the time limit.
  std::string ReadUntilClosed(std::chrono::milliseconds timeout = DefaultTimeout);
  void Write(std::string_view bytes, std::chrono::milliseconds timeout = DefaultTimeout);
  // Close the connection to the client: it reads the end of the stream.
  void CloseClient();
  // Abort it: the client gets a reset ("Connection reset by peer").
  void ResetClient();
  // Close the listening socket: later connects are refused.
  void StopListening();

  // Run `script` on a thread of its own; Join waits for it and rethrows what it raised.
  void RunAsync(std::function<void(TLoopbackPeer&)> script);
  void Join();

 private:
  void WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline, const char* what);
  std::string FHost;
  std::uint16_t FPort = 0;
  UniqueFd FListener;
  UniqueFd FClient;
  std::thread FScript;
  std::exception_ptr FScriptError;
};

// A TCP socket bound to the loopback address on a port the kernel picks (`port` gets it), not
// yet listening.
UniqueFd BindLoopback(bool ipv6, std::uint16_t& port);

// A port on which nothing listens right now (bound and released), for tests of refused
// connections and for servers that need the number before they start.
std::uint16_t FreeLoopbackPort(bool ipv6 = false);
// This machine can bind ::1.
bool IPv6LoopbackAvailable();

}  // namespace kestova::test
