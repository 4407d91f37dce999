#include "mqtt/keep_alive_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "mqtt/client_session.h"

namespace kestova {
namespace {

// The least time between two looks, so intervals of 0 cannot make the thread spin.
constexpr std::chrono::milliseconds kRunInterval{10};

}  // namespace

TMqttKeepAliveThread::TMqttKeepAliveThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession,
                                           TMqttLogger* ALog, TNotifyEvent AOnRequestPing,
                                           TNotifyEvent AOnRequestReconnect)
    : TMqttWorkerThread(AConnection, ASession, ALog),
      FOnPingRequest(std::move(AOnRequestPing)),
      FOnRequestReconnect(std::move(AOnRequestReconnect)) {
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

void TMqttKeepAliveThread::Work() {
  using std::chrono::seconds;
  const uint64_t kicks = Kicks();
  const TMqttDateTime now = TMqttClock::now();

  if (!FSession.HasActiveNetworkConnection() && ShouldTryReconnect() &&
      now >= FSession.LastWriteCommunicationTime() + seconds(ReconnectInterval())) {
    TMqttLogHelper::Info(Logger(), this, "KEEP ALIVE - No Connection. Requesting Reconnect.");
    try {
      Synchronize(FOnRequestReconnect);
    } catch (const std::exception& e) {
      TMqttLogHelper::Error(Logger(), this, "KEEP ALIVE - Reconnect request failed", &e);
    }
    FSession.SetLastWriteCommunicationTime(now);
  }
  if (FSession.HasActiveNetworkConnection() && ShouldKeepConnectionAlive() &&
      now >= FSession.LastWriteCommunicationTime() + seconds(KeepAliveInterval() + 1)) {
    TMqttLogHelper::Debug(
        Logger(), this,
        "KEEP ALIVE - No activity within the given interval. Requesting Ping to keep connection alive.");
    try {
      Synchronize(FOnPingRequest);
    } catch (const std::exception& e) {
      TMqttLogHelper::Error(Logger(), this, "KEEP ALIVE - Ping request failed", &e);
    }
    FSession.SetLastWriteCommunicationTime(now);
  }

  // Sleep until the next request can be due. A later write only moves that time on, so waking
  // at the old time and looking again is enough; everything that brings it forward kicks.
  TMqttDateTime due = TMqttDateTime::max();
  const TMqttDateTime lastWrite = FSession.LastWriteCommunicationTime();
  if (!FSession.HasActiveNetworkConnection() && ShouldTryReconnect()) {
    due = std::min(due, lastWrite + seconds(ReconnectInterval()));
  }
  if (FSession.HasActiveNetworkConnection() && ShouldKeepConnectionAlive()) {
    due = std::min(due, lastWrite + seconds(KeepAliveInterval() + 1));
  }
  if (due != TMqttDateTime::max()) due = std::max(due, TMqttClock::now() + kRunInterval);
  WaitForKick(kicks, due);
}

}  // namespace kestova
