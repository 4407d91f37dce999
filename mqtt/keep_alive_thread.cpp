#include "mqtt/keep_alive_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "mqtt/client_session.h"
#include "mqtt/network_connection.h"

namespace kestova {
namespace {

using std::chrono::milliseconds;

// The least time between two looks, so intervals of 0 cannot make the thread spin.
constexpr milliseconds kRunInterval{10};
// A PINGREQ goes this much before the keep-alive interval since the last write runs out (at
// most a quarter of the interval), so the hand-over and the writer cannot make it late.
constexpr milliseconds kPingMargin{500};

constexpr TMqttDateTime kNever = TMqttDateTime::max();

bool Set(TMqttDateTime ATime) noexcept { return ATime != TMqttDateTime{}; }

}  // namespace

TMqttKeepAliveThread::TMqttKeepAliveThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession,
                                           TMqttLogger* ALog, TNotifyEvent AOnRequestPing,
                                           TNotifyEvent AOnRequestReconnect, TCloseRequest AOnRequestClose)
    : TMqttWorkerThread(AConnection, ASession, ALog),
      FOnPingRequest(std::move(AOnRequestPing)),
      FOnRequestReconnect(std::move(AOnRequestReconnect)),
      FOnRequestClose(std::move(AOnRequestClose)) {
  Start("mqtt-keepalive");
}

TMqttKeepAliveThread::~TMqttKeepAliveThread() { Stop(); }

void TMqttKeepAliveThread::SetShouldTryReconnect(bool AValue) {
  FShouldTryReconnect.store(AValue);
  Kick();
}

void TMqttKeepAliveThread::SetReconnectInterval(uint32_t ASeconds) {
  FReconnectInterval.store(ASeconds);
  Kick();
}

void TMqttKeepAliveThread::SetShouldKeepConnectionAlive(bool AValue) {
  FShouldKeepConnectionAlive.store(AValue);
  Kick();
}

void TMqttKeepAliveThread::SetKeepAliveInterval(uint32_t ASeconds) {
  FKeepAliveInterval.store(ASeconds);
  Kick();
}

void TMqttKeepAliveThread::ConnectAttempted() {
  {
    std::lock_guard lock(FLock);
    ++FAttempts;
    FNextAttempt = TMqttClock::now() + FSchedule.Delay(FAttempts, ReconnectInterval());
  }
  Kick();
}

void TMqttKeepAliveThread::AwaitConnAck(uint64_t AConnectionId, TMqttDateTime ADeadline) {
  {
    std::lock_guard lock(FLock);
    FConnAckConnection = AConnectionId;
    FConnAckDeadline = ADeadline;
  }
  Kick();
}

void TMqttKeepAliveThread::ConnAckReceived(bool AAccepted) {
  {
    std::lock_guard lock(FLock);
    FConnAckConnection = 0;
    FPingSentAt = {};
    if (AAccepted) FAcceptedAt = TMqttClock::now();
  }
  Kick();
}

void TMqttKeepAliveThread::ConnectionLost() {
  {
    std::lock_guard lock(FLock);
    const TMqttDateTime now = TMqttClock::now();
    if (Set(FAcceptedAt) && now - FAcceptedAt >= kStableConnection) {
      FAttempts = 0;
      FNextAttempt = now;
    }
    FAcceptedAt = {};
    FConnAckConnection = 0;
    FPingSentAt = {};
  }
  Kick();
}

TMqttDateTime TMqttKeepAliveThread::NextAttempt() const {
  std::lock_guard lock(FLock);
  return FNextAttempt;
}

TMqttDateTime TMqttKeepAliveThread::PingDue(TMqttDateTime ALastWrite, TMqttDateTime ALastRead, bool AAwaiting) const {
  const uint32_t interval = KeepAliveInterval();
  if (!ShouldKeepConnectionAlive() || interval == 0) return kNever;
  const milliseconds period = std::chrono::seconds(interval);
  TMqttDateTime due = ALastWrite + period - std::min(kPingMargin, period / 4);
  // Silence from the broker is checked at half the interval, so a dead path is found within
  // 1.5 intervals; one PINGREQ at a time is enough for that.
  if (!AAwaiting) due = std::min(due, ALastRead + period / 2);
  return due;
}

void TMqttKeepAliveThread::RequestClose(TMqttCloseReason AReason, uint64_t AConnectionId) {
  try {
    Synchronize([this, AReason, AConnectionId] { FOnRequestClose(AReason, AConnectionId); });
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "KEEP ALIVE - Close request failed", &e);
  }
}

void TMqttKeepAliveThread::Pause() { WaitForKick(Kicks(), TMqttClock::now() + kRunInterval); }

void TMqttKeepAliveThread::Work() {
  const uint64_t kicks = Kicks();
  const TMqttDateTime now = TMqttClock::now();
  const bool network = FSession.HasActiveNetworkConnection();
  const bool accepted = FSession.HasActiveMqttConnection();

  TMqttDateTime nextAttempt;
  uint64_t connAckConnection = 0;
  TMqttDateTime connAckDeadline;
  TMqttDateTime pingSentAt;
  {
    std::lock_guard lock(FLock);
    // Anything that arrived after the PINGREQ answers it.
    if (Set(FPingSentAt) && FSession.LastReadCommunicationTime() >= FPingSentAt) FPingSentAt = {};
    nextAttempt = FNextAttempt;
    connAckConnection = FConnAckConnection;
    connAckDeadline = FConnAckDeadline;
    pingSentAt = FPingSentAt;
  }

  if (!network && ShouldTryReconnect() && now >= nextAttempt) {
    TMqttLogHelper::Info(Logger(), this, "KEEP ALIVE - No Connection. Requesting Reconnect.");
    try {
      Synchronize(FOnRequestReconnect);
    } catch (const std::exception& e) {
      TMqttLogHelper::Error(Logger(), this, "KEEP ALIVE - Reconnect request failed", &e);
      ConnectAttempted();  // a request that cannot run waits like a failed attempt
    }
    FSession.SetLastWriteCommunicationTime(now);
    Pause();
    return;
  }
  if (network && !accepted && connAckConnection != 0 && now >= connAckDeadline) {
    {
      std::lock_guard lock(FLock);
      if (FConnAckConnection == connAckConnection) FConnAckConnection = 0;
    }
    TMqttLogHelper::Error(Logger(), this, "KEEP ALIVE - No CONNACK in time. Requesting the connection to be closed.");
    RequestClose(TMqttCloseReason::crNoConnAck, connAckConnection);
    Pause();
    return;
  }
  const uint32_t interval = KeepAliveInterval();
  const bool keepingAlive = network && accepted && ShouldKeepConnectionAlive() && interval > 0;
  if (keepingAlive && Set(pingSentAt) && now >= pingSentAt + std::chrono::seconds(interval)) {
    {
      std::lock_guard lock(FLock);
      FPingSentAt = {};
    }
    TMqttLogHelper::Error(Logger(), this,
                          "KEEP ALIVE - Nothing received within the interval after a PINGREQ. Requesting the "
                          "connection to be closed.");
    RequestClose(TMqttCloseReason::crNoPingResponse, FConnection.ConnectionId());
    Pause();
    return;
  }
  if (keepingAlive &&
      now >= PingDue(FSession.LastWriteCommunicationTime(), FSession.LastReadCommunicationTime(), Set(pingSentAt))) {
    TMqttLogHelper::Debug(
        Logger(), this,
        "KEEP ALIVE - No activity within the given interval. Requesting Ping to keep connection alive.");
    {
      std::lock_guard lock(FLock);
      if (!Set(FPingSentAt)) FPingSentAt = now;
    }
    try {
      Synchronize(FOnPingRequest);
    } catch (const std::exception& e) {
      TMqttLogHelper::Error(Logger(), this, "KEEP ALIVE - Ping request failed", &e);
    }
    FSession.SetLastWriteCommunicationTime(now);
    Pause();
    return;
  }

  // Sleep until the next request can be due. Later writes and reads only move those times on,
  // so waking at the old time and looking again is enough; everything that brings one forward
  // kicks.
  TMqttDateTime due = kNever;
  if (!network && ShouldTryReconnect()) due = std::min(due, nextAttempt);
  if (network && !accepted && connAckConnection != 0) due = std::min(due, connAckDeadline);
  if (keepingAlive) {
    due = std::min(
        due, PingDue(FSession.LastWriteCommunicationTime(), FSession.LastReadCommunicationTime(), Set(pingSentAt)));
    if (Set(pingSentAt)) due = std::min(due, pingSentAt + std::chrono::seconds(interval));
  }
  if (due != kNever) due = std::max(due, TMqttClock::now() + kRunInterval);
  WaitForKick(kicks, due);
}

}  // namespace kestova
