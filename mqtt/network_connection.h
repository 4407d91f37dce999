#pragma once
// The byte pipe between the MQTT client and its broker: one TCP connection, optionally run
// through TLS, with reads and writes bounded by time-outs and two notifications that drive
// the client's connection state. It knows nothing of MQTT packets.
//
// Every way down (the peer closing, a failed read, write or poll, Close of an open
// connection) passes through one "disconnected" handling, exactly once per connection, which
// raises OnDisconnected with the identifier of the connection that went down. A connection
// that the peer closed stays in a Down state until Close or the next Open releases it.
//
// Sockets are never freed under another thread: each connection lives in a shared link that
// a reading or writing call copies before it uses the socket. Close shuts the socket down
// (a thread waiting in it leaves at once), waits until no thread is inside, closes it and
// drops the link; the last thread to let go of the link frees it.
//
// Thread safety:
// - Settings (host name, port, family, TLS), Open and Close: the client's thread. Close is also
//   called on the reader thread when a poll fails. Settings must not change during Open.
// - HasData, WaitForData, Read, ReadAvailable: the reader thread (serialised by the read lock).
// - Write: the writer thread and, for packets sent directly, the client's thread (serialised
//   by the write lock). A read and a write may run at the same time.
// - IsReady, ConnectionId, WakeReader, Shutdown, SetLogger: any thread.
// - OnConnected runs on the thread that called Open; OnDisconnected on the thread that found
//   the connection down (normally the reader) or that called Close. Set both before Open.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "mqtt/global.h"
#include "mqtt/logger.h"
#include "platform/deadline.h"
#include "platform/tls_stream.h"

namespace kestova {

enum class TMqttIPVersion : uint8_t { ipV4, ipV6 };

// Outcome of TMqttNetworkConnection::WaitForData.
enum class TMqttTransportWait : uint8_t {
  twData,     // a byte can be read without waiting
  twDown,     // not ready, or the connection went down while waiting (already handled)
  twTimeout,  // the deadline passed
  twWoken,    // WakeReader was called
};

class TMqttNetworkConnection {
 public:
  // AConnectionId numbers the connections of this object from 1, so a late notification of
  // an old connection can be told from one of the current connection.
  using TConnectionEvent = std::function<void(TMqttNetworkConnection& Sender, uint64_t AConnectionId)>;

  static constexpr std::chrono::milliseconds kConnectTimeout{5000};
  // Reads wait this long on a new socket, and kReadTimeout from the first multi-byte read on.
  static constexpr std::chrono::milliseconds kFirstReadTimeout{2000};
  static constexpr std::chrono::milliseconds kReadTimeout{5000};
  // A write that cannot get rid of its bytes for this long gives up; the connection is shut
  // down then, since part of a packet may have gone out.
  static constexpr std::chrono::milliseconds kWriteTimeout{10000};
  // TCP's own dead-peer detection on every connection: an idle path is probed after 30 s and
  // given up after three unanswered probes 10 s apart; written bytes unacknowledged for 60 s
  // end the connection.
  static constexpr std::chrono::seconds kTcpKeepAliveIdle{30};
  static constexpr std::chrono::seconds kTcpKeepAliveInterval{10};
  static constexpr int kTcpKeepAliveProbes = 3;
  static constexpr std::chrono::milliseconds kTcpUserTimeout{60000};

  explicit TMqttNetworkConnection(TMqttLogger* ALogger = nullptr);
  // Closes an open connection without raising OnDisconnected.
  ~TMqttNetworkConnection();
  TMqttNetworkConnection(const TMqttNetworkConnection&) = delete;
  TMqttNetworkConnection& operator=(const TMqttNetworkConnection&) = delete;

  TConnectionEvent OnConnected;
  TConnectionEvent OnDisconnected;

  const std::string& HostName() const noexcept { return FHostName; }
  void SetHostName(std::string AHostName) { FHostName = std::move(AHostName); }
  TMqttIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TMqttIPVersion AVersion) noexcept { FIPVersion = AVersion; }
  // 1883 after construction; Open refuses a value outside 1 to 65535.
  int32_t Port() const noexcept { return FPort; }
  void SetPort(int32_t APort) noexcept { FPort = APort; }
  bool UseSSL() const noexcept { return FUseSSL; }
  void SetUseSSL(bool AValue) noexcept { FUseSSL = AValue; }
  // What the TLS layer checks when UseSSL is set: by default the peer's certificate against the
  // system's trust store and the host name.
  const TTlsOptions& TlsLayer() const noexcept { return FTlsOptions; }
  void SetTlsOptions(TTlsOptions AOptions) { FTlsOptions = std::move(AOptions); }

  // True from the successful connect until the connection goes down.
  bool IsReady() const;
  // The identifier of the connection that is open or down, 0 when there is none.
  uint64_t ConnectionId() const;

  void SetLogger(TMqttLogger* ALogger) noexcept { FLog.store(ALogger); }

  // Connects when not ready (nothing when it is): resolution plus at most kConnectTimeout.
  // On failure logs "Exception while connecting ..." and raises the socket layer's error.
  void Open();
  // Disconnects and releases the connection; OnDisconnected when it was open.
  void Close();
  // The same, but only when the connection is still the one numbered AConnectionId (a thread
  // that found a fault in an old connection must not close a newer one).
  void Close(uint64_t AConnectionId);

  // A received byte can be read without waiting. A peer that closed, or a failed poll, goes
  // through the disconnected handling and gives false.
  bool HasData();
  // Like HasData, but waits up to ADeadline for data, for the connection to go down, or for
  // WakeReader. The reader thread blocks here instead of polling. An error raised by the
  // OnDisconnected handler comes out of here (and out of HasData and Close).
  TMqttTransportWait WaitForData(TDeadline ADeadline);
  // Makes the WaitForData in progress (or the next one) return twWoken. Any thread.
  void WakeReader() noexcept;

  // One byte, waiting up to the read time-out; not ready: returns at once, AByte unchanged.
  void Read(uint8_t& AByte);
  // Exactly ALength bytes, appended to AData or replacing it; not ready: returns, AData
  // unchanged. Sets the read time-out to kReadTimeout first.
  void Read(TMqttBytes& AData, std::size_t ALength, bool AAppend);
  // At least one and at most ASize bytes (what has arrived), waiting up to the read time-out;
  // 0 when not ready. AConnectionId (when given) gets the number of the connection they came
  // from, so a reader can tell a new stream from the rest of an old one.
  std::size_t ReadAvailable(uint8_t* AData, std::size_t ASize, uint64_t* AConnectionId = nullptr);
  std::chrono::milliseconds ReadTimeout() const noexcept { return FReadTimeout.load(); }

  // Sends every byte; not ready: the bytes are dropped without error. A failure (raised to
  // the caller) also shuts the connection down, so the reader finds it down.
  void Write(TMqttByteView AData);

  // Ends the connection in both directions now without closing it: calls in progress fail,
  // and the reader's next poll goes through the disconnected handling. Any thread.
  void Shutdown() noexcept;

 private:
  struct TLink;

  std::shared_ptr<TLink> CurrentLink() const;
  void CloseLink(const std::shared_ptr<TLink>& ALink);
  // The disconnected handling of a link whose Up flag this thread cleared.
  void ReportDisconnected(const TLink& ALink);
  void TraceStatus(const std::string& AName, TSocketStatus AStatus);

  mutable std::mutex FReadLock;
  mutable std::mutex FWriteLock;
  mutable std::mutex FLinkLock;  // guards FLink and FLastConnectionId
  std::shared_ptr<TLink> FLink;
  uint64_t FLastConnectionId = 0;
  std::atomic<bool> FWakePending{false};
  std::atomic<std::chrono::milliseconds> FReadTimeout{kFirstReadTimeout};

  TTlsOptions FTlsOptions;
  std::string FHostName;
  TMqttIPVersion FIPVersion = TMqttIPVersion::ipV4;
  int32_t FPort = MQTT_DEFAULT_PORT;
  std::atomic<TMqttLogger*> FLog{nullptr};
  bool FUseSSL = false;
};

}  // namespace kestova
