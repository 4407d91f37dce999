#pragma once
// A TCP client connection over IPv4 or IPv6: name resolution, a connect bounded by a deadline,
// buffered reads and whole-buffer writes bounded by deadlines, and ways for other threads to
// release a thread that waits in it. TTlsStream (platform/tls_stream.h) runs TLS over the same
// machinery by replacing the raw read and write steps.
//
// The descriptor is non-blocking; every wait is a poll(2) on it together with two eventfds:
// the wake event (Wake: a WaitForData in progress or the next one returns swWoken) and the
// shut-down event (Shutdown/Close: every wait in progress and every later call fails with
// ESocketInterrupted). Nothing ever blocks outside such a poll, except name resolution.
//
// Thread safety:
//  - Connect: once per object, from one thread.
//  - Reading side (WaitForData, HasBufferedData, ReadSome, ReadByte, ReadExact): one thread
//    at a time.
//  - Writing side (WriteAll): one thread at a time; may run while another thread reads.
//  - Wake, Shutdown, Close, IsConnected, IsShutDown, Host, Port, PeerAddress: any thread, any
//    time (but not from OnStatus, which runs inside Connect: Close would wait for itself).
//  - The destructor must not run while another thread may still call in; it closes like Close.
//
// Closing never pulls the descriptor from under another thread: Close marks the socket shut
// down, which makes every wait return at once, then waits until no thread is inside a call on
// the descriptor, and only then closes it. A thread entering afterwards gets ESocketInterrupted.
// So the owner may call Close from any thread while its reader and writer are blocked; it must
// only keep the object alive until those threads have left it (join them before destroying).
#include <sys/types.h>

struct addrinfo;

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/deadline.h"
#include "platform/exception.h"
#include "platform/unique_fd.h"
#include "platform/wake_event.h"

struct addrinfo;

namespace kestova {

// A failed socket step; the message names host, port and the system's error text.
class ESocketError : public Exception {
 public:
  explicit ESocketError(std::string message, int errorCode = 0)
      : Exception(std::move(message)), FErrorCode(errorCode) {}
  // errno of the failed call, or 0 when the failure has no system error behind it.
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};

// The host name could not be resolved for the requested address family.
class EResolveError : public ESocketError {
 public:
  using ESocketError::ESocketError;
};

// The deadline passed before the step completed.
class ESocketTimeout : public ESocketError {
 public:
  using ESocketError::ESocketError;
};

// The peer closed the connection before the bytes asked for arrived.
class ESocketClosed : public ESocketError {
 public:
  using ESocketError::ESocketError;
};

// The socket was shut down or closed by this side (Shutdown, Close) while or before waiting.
class ESocketInterrupted : public ESocketError {
 public:
  using ESocketError::ESocketError;
};

enum class TAddressFamily : std::uint8_t { afUnspecified, afIPv4, afIPv6 };

// The addresses a host name resolved to, freed with the list.
using TAddressList = std::unique_ptr<addrinfo, void (*)(addrinfo*)>;
// Resolve `host` and `port` for `family` as Connect does (stream sockets, numeric port). Raises
// EResolveError with the resolver's reason. May take the resolver's own time; any thread.
TAddressList ResolveHost(const std::string& host, std::uint16_t port, TAddressFamily family);

// Outcome of WaitForData.
enum class TSocketWait : std::uint8_t {
  swData,     // at least one byte is buffered: the next read returns without waiting
  swClosed,   // the peer closed the connection and nothing is left to read
  swTimeout,  // the deadline passed
  swWoken,    // Wake was called
};

// Progress of Connect, reported to OnStatus on the connecting thread.
enum class TSocketStatus : std::uint8_t {
  ssResolving,    // before name resolution
  ssAllocated,    // a descriptor was created for the next address to try
  ssConnecting,   // connecting to that address
  ssHandshaking,  // TCP is up, the TLS handshake starts (TTlsStream only)
  ssConnected,    // the connection is ready for reads and writes
};

class TTcpSocket {
 public:
  TTcpSocket();
  virtual ~TTcpSocket();
  TTcpSocket(const TTcpSocket&) = delete;
  TTcpSocket& operator=(const TTcpSocket&) = delete;

  // Called on the connecting thread for each step of Connect; `detail` is the numeric address
  // for ssAllocated, ssConnecting and ssConnected, else the host. Set before Connect.
  std::function<void(TSocketStatus status, const std::string& detail)> OnStatus;

  // Resolve `host` for `family` and connect to each address in turn until one accepts, all
  // within `deadline` (name resolution itself cannot be interrupted and may take the
  // resolver's own time). Raises EResolveError, ESocketTimeout, ESocketError (the last
  // address's error, e.g. "Connection refused"), ESocketInterrupted when shut down meanwhile,
  // or a TLS error from a derived class. After a failure the object is closed for good.
  void Connect(const std::string& host, std::uint16_t port, TAddressFamily family, TDeadline deadline);

  // --- reading side ---
  // Wait until a byte can be read without blocking, the peer has closed, the deadline passed or
  // Wake was called. TDeadline::Immediate() makes it a non-blocking check that also notices a
  // closed connection. Raises ESocketError on a failed connection, ESocketInterrupted.
  TSocketWait WaitForData(TDeadline deadline);
  // Received bytes are waiting in this object's buffer.
  bool HasBufferedData() const noexcept { return FBufferBegin < FBufferEnd; }
  // Read at least one and at most `size` bytes. Raises ESocketTimeout, ESocketClosed,
  // ESocketError, ESocketInterrupted. Wake does not end it.
  std::size_t ReadSome(void* data, std::size_t size, TDeadline deadline);
  std::uint8_t ReadByte(TDeadline deadline);
  // Read exactly `size` bytes; raises as ReadSome (the bytes read so far are lost then).
  void ReadExact(void* data, std::size_t size, TDeadline deadline);

  // --- writing side ---
  // Send every byte. Raises ESocketTimeout (some bytes may have gone out), ESocketError
  // (e.g. "Broken pipe" after the peer closed), ESocketInterrupted. Never raises SIGPIPE.
  void WriteAll(const void* data, std::size_t size, TDeadline deadline);
  void WriteAll(const std::string& data, TDeadline deadline) { WriteAll(data.data(), data.size(), deadline); }

  // --- any thread ---
  // Make a WaitForData in progress (or the next one) return swWoken.
  void Wake() noexcept;
  // End the connection now in both directions (the peer sees the end): waits in progress and
  // all later calls raise ESocketInterrupted. The descriptor stays open until Close.
  void Shutdown() noexcept;
  // Shut down, wait until no other thread is inside a call, send a TLS close notice when the
  // session is up, and close the descriptor (the peer sees the end). Idempotent.
  void Close() noexcept;

  bool IsConnected() const noexcept { return FConnected.load(); }
  bool IsShutDown() const noexcept { return FShutDown.load(); }
  // What Connect was given, and the numeric address it reached (empty before).
  std::string Host() const;
  std::uint16_t Port() const;
  std::string PeerAddress() const;
  // Turn Nagle's algorithm off (true) or on for the connected socket.
  void SetNoDelay(bool noDelay);
  // Let the kernel find a dead peer by itself: keep-alive probes after `idle` without traffic,
  // every `interval`, `count` times (SO_KEEPALIVE), and give up on sent data that stays
  // unacknowledged for `userTimeout` (TCP_USER_TIMEOUT). For the connected socket.
  void SetDeadPeerDetection(std::chrono::seconds idle, std::chrono::seconds interval, int count,
                            std::chrono::milliseconds userTimeout);

 protected:
  enum class TIoStatus : std::uint8_t { ioDone, ioEof, ioWantRead, ioWantWrite };

  // One non-blocking transfer on the connected descriptor; `done` gets the byte count of
  // ioDone. Raise ESocketError on failure. Called by the reading side (RawRead) or the
  // writing side (RawWrite), possibly at the same time.
  virtual TIoStatus RawRead(void* data, std::size_t size, std::size_t& done);
  virtual TIoStatus RawWrite(const void* data, std::size_t size, std::size_t& done);
  // After the TCP connect, on the connecting thread (the TLS handshake). Raise to fail Connect.
  virtual void AfterConnect(TDeadline deadline);
  // Just before the descriptor closes, with no other thread inside any more (TLS close notice).
  virtual void BeforeClose(int fd) noexcept;

  // Wait until the descriptor is ready for `events` (POLLIN/POLLOUT); false at the deadline.
  // Raises ESocketInterrupted once shut down. For derived classes inside a call.
  bool WaitReady(short events, TDeadline deadline);
  // The connected descriptor; valid inside a call (a thread inside keeps Close waiting).
  int Fd() const noexcept { return FFd.Get(); }
  // "host:port" for messages.
  std::string Where() const;
  void Report(TSocketStatus status, const std::string& detail);

 private:
  class TUse;
  enum class TPollResult : std::uint8_t { prReady, prTimeout, prWoken };

  TPollResult Poll(short events, TDeadline deadline, bool wakeable);
  void Enter(bool connecting);
  void Leave() noexcept;
  void ResetFd() noexcept;
  std::size_t Read(void* data, std::size_t size, TDeadline deadline, bool exact);
  // How one address answered: connected, failed (try the next, ErrorCode says why), or the
  // deadline passed (try no more).
  struct TConnectAttempt {
    enum TOutcome : std::uint8_t { caConnected, caFailed, caTimedOut } Outcome = caFailed;
    int ErrorCode = 0;
  };
  TConnectAttempt ConnectTo(const addrinfo& address, const std::string& numeric, TDeadline deadline);
  // Refill the buffer once without waiting.
  TIoStatus Fill();
  [[noreturn]] void ThrowInterrupted() const;

  mutable std::mutex FLock;       // guards FFd, FUsers, FHost, FPort, FPeerAddress
  std::condition_variable FIdle;  // FUsers dropped to 0
  UniqueFd FFd;
  int FUsers = 0;  // threads inside a call on the descriptor
  bool FConnectTried = false;
  std::atomic<bool> FConnected{false};
  std::atomic<bool> FShutDown{false};
  TWakeEvent FWake;
  TWakeEvent FShutdownEvent;
  std::string FHost;
  std::uint16_t FPort = 0;
  std::string FPeerAddress;

  // Reading side only.
  std::vector<std::uint8_t> FBuffer;
  std::size_t FBufferBegin = 0;
  std::size_t FBufferEnd = 0;
};

}  // namespace kestova
