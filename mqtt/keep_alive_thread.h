#pragma once
// The keep-alive thread: the client's clock. It asks the main thread
//  - for a reconnect when the TCP connection is gone and the next attempt of the reconnect
//    schedule is due (TMqttReconnectSchedule: at once after an established connection was lost,
//    then after about 1, 2, 4 and 8 s, then every ReconnectInterval, each with jitter);
//  - for a PINGREQ when nothing has been written for a little less than KeepAliveInterval
//    (MQTT-3.1.2-23 allows no more), or nothing has been received for half of it;
//  - to close the connection when nothing at all has arrived within KeepAliveInterval after a
//    PINGREQ (a dead path: a frozen broker, a flushed NAT table), or when no CONNACK came by
//    the deadline the client set (a listener that never answers).
// "Established" means a connection the broker accepted that then held for kStableConnection;
// one dropped sooner (a broker that accepts and drops at once) goes on with the schedule
// instead of starting it again, so it is not hammered.
//
// It sleeps until the earliest of those times; the client kicks it whenever the connection
// comes up or goes down or a switch changes, so it looks again at once. Between two looks it
// waits at least 10 ms, however short the intervals.
//
// Thread safety: as TMqttWorkerThread; the switches, intervals and the connection reports
// (ConnectAttempted, AwaitConnAck, ConnAckReceived, ConnectionLost) from any thread (the client
// calls them on the main thread, ConnectionLost also on the reader thread).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "mqtt/reconnect_schedule.h"
#include "mqtt/worker_thread.h"

namespace kestova {

// Why the keep-alive thread asks for the connection to be closed.
enum class TMqttCloseReason : uint8_t { crNoConnAck, crNoPingResponse };

class TMqttKeepAliveThread final : public TMqttWorkerThread {
 public:
  using TCloseRequest = std::function<void(TMqttCloseReason AReason, uint64_t AConnectionId)>;

  static constexpr uint32_t kDefaultReconnectInterval = 30;   // seconds
  static constexpr uint32_t kDefaultKeepAliveInterval = 120;  // seconds
  static constexpr std::chrono::seconds kStableConnection{10};

  // The requests run on the main thread. The thread starts at once.
  TMqttKeepAliveThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession, TMqttLogger* ALog,
                       TNotifyEvent AOnRequestPing, TNotifyEvent AOnRequestReconnect, TCloseRequest AOnRequestClose);
  ~TMqttKeepAliveThread() override;

  bool ShouldTryReconnect() const noexcept { return FShouldTryReconnect.load(); }
  void SetShouldTryReconnect(bool AValue);
  uint32_t ReconnectInterval() const noexcept { return FReconnectInterval.load(); }
  void SetReconnectInterval(uint32_t ASeconds);
  bool ShouldKeepConnectionAlive() const noexcept { return FShouldKeepConnectionAlive.load(); }
  void SetShouldKeepConnectionAlive(bool AValue);
  // Seconds; 0 sends no PINGREQ at all.
  uint32_t KeepAliveInterval() const noexcept { return FKeepAliveInterval.load(); }
  void SetKeepAliveInterval(uint32_t ASeconds);

  // A connect attempt (the first or an automatic one) has just ended; the next one is due
  // after the schedule's next wait.
  void ConnectAttempted();
  // The CONNECT of connection AConnectionId is queued: close it when no CONNACK came by
  // ADeadline.
  void AwaitConnAck(uint64_t AConnectionId, TMqttDateTime ADeadline);
  // A CONNACK arrived; AAccepted: with return code 0.
  void ConnAckReceived(bool AAccepted);
  // The connection went down. After an established one the schedule starts again.
  void ConnectionLost();
  // When the next automatic attempt is due (for tests and the log).
  TMqttDateTime NextAttempt() const;

 protected:
  void Work() override;
  void WakeWork() noexcept override {}  // Work sleeps in WaitForKick, which Kick ends

 private:
  // The time a PINGREQ is due, given the last write and read; max() when none is.
  TMqttDateTime PingDue(TMqttDateTime ALastWrite, TMqttDateTime ALastRead, bool AAwaiting) const;
  void RequestClose(TMqttCloseReason AReason, uint64_t AConnectionId);
  // After a request: everything may have changed, look again shortly (never at once, so a
  // request that fails at once cannot make the thread spin).
  void Pause();

  TNotifyEvent FOnPingRequest;
  TNotifyEvent FOnRequestReconnect;
  TCloseRequest FOnRequestClose;
  std::atomic<bool> FShouldTryReconnect{false};
  std::atomic<uint32_t> FReconnectInterval{kDefaultReconnectInterval};
  std::atomic<bool> FShouldKeepConnectionAlive{false};
  std::atomic<uint32_t> FKeepAliveInterval{kDefaultKeepAliveInterval};

  mutable std::mutex FLock;  // guards the fields below
  TMqttReconnectSchedule FSchedule;
  int FAttempts = 0;                // attempts since the schedule last started
  TMqttDateTime FNextAttempt{};     // epoch: at once
  TMqttDateTime FAcceptedAt{};      // epoch: the current connection is not accepted
  uint64_t FConnAckConnection = 0;  // 0: no CONNACK awaited
  TMqttDateTime FConnAckDeadline{};
  TMqttDateTime FPingSentAt{};  // epoch: no PINGREQ waits for an answer
};

}  // namespace kestova
