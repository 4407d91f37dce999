#pragma once
// The keep-alive thread: asks the main thread for a PINGREQ when nothing has been written for
// KeepAliveInterval + 1 seconds, and for a reconnect when the TCP connection is gone and
// nothing has been written (or tried) for ReconnectInterval seconds. Only writes count as
// activity; received packets do not postpone a ping, and no reply to a ping is awaited.
//
// It sleeps until the earlier of the two due times; the client kicks it whenever the
// connection comes up or goes down or a switch changes, so it looks again at once. Between two
// requests it waits at least 10 ms, however short the intervals.
//
// Thread safety: as TMqttWorkerThread; the switches and intervals from any thread (the client
// sets them on the main thread).
#include <atomic>
#include <cstdint>

#include "mqtt/worker_thread.h"

namespace kestova {

class TMqttKeepAliveThread final : public TMqttWorkerThread {
 public:
  static constexpr uint32_t kDefaultReconnectInterval = 30;   // seconds
  static constexpr uint32_t kDefaultKeepAliveInterval = 120;  // seconds

  // AOnRequestPing and AOnRequestReconnect run on the main thread. The thread starts at once.
  TMqttKeepAliveThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession, TMqttLogger* ALog,
                       TNotifyEvent AOnRequestPing, TNotifyEvent AOnRequestReconnect);
  ~TMqttKeepAliveThread() override;

  bool ShouldTryReconnect() const noexcept { return FShouldTryReconnect.load(); }
  void SetShouldTryReconnect(bool AValue);
  uint32_t ReconnectInterval() const noexcept { return FReconnectInterval.load(); }
  void SetReconnectInterval(uint32_t ASeconds);
  bool ShouldKeepConnectionAlive() const noexcept { return FShouldKeepConnectionAlive.load(); }
  void SetShouldKeepConnectionAlive(bool AValue);
  uint32_t KeepAliveInterval() const noexcept { return FKeepAliveInterval.load(); }
  void SetKeepAliveInterval(uint32_t ASeconds);

 protected:
  void Work() override;
  void WakeWork() noexcept override {}  // Work sleeps in WaitForKick, which Kick ends

 private:
  TNotifyEvent FOnPingRequest;
  TNotifyEvent FOnRequestReconnect;
  std::atomic<bool> FShouldTryReconnect{false};
  std::atomic<uint32_t> FReconnectInterval{kDefaultReconnectInterval};
  std::atomic<bool> FShouldKeepConnectionAlive{false};
  std::atomic<uint32_t> FKeepAliveInterval{kDefaultKeepAliveInterval};
};

}  // namespace kestova
