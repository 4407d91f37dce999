#include "mqtt/worker_thread.h"

#include <exception>

namespace kestova {
namespace {

// After an error no iteration handled itself, the next one waits this long, so a failure that
// repeats at once cannot turn the loop into a spin.
constexpr std::chrono::milliseconds kErrorPause{10};

}  // namespace

TMqttWorkerThread::TMqttWorkerThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession,
                                     TMqttLogger* ALog)
    : FConnection(AConnection), FSession(ASession), FLogger(ALog) {}

TMqttWorkerThread::~TMqttWorkerThread() = default;

void TMqttWorkerThread::Start(const std::string& AName) {
  FThread.Start(AName, [this] { Execute(); });
}

void TMqttWorkerThread::Stop() {
  Terminate();
  WaitFor();
}

void TMqttWorkerThread::Kick() {
  {
    std::lock_guard lock(FStateLock);
    ++FKicks;
  }
  FStateChanged.notify_all();
  WakeWork();
}

void TMqttWorkerThread::SetPaused(bool APaused) {
  FPaused.store(APaused);
  Kick();
}

void TMqttWorkerThread::Terminate() {
  FTerminated.store(true);
  Kick();
}

void TMqttWorkerThread::WaitFor() { FThread.Join(); }

uint64_t TMqttWorkerThread::Kicks() const {
  std::lock_guard lock(FStateLock);
  return FKicks;
}

void TMqttWorkerThread::WaitForKick(uint64_t AKicks, std::chrono::steady_clock::time_point ADeadline) {
  std::unique_lock lock(FStateLock);
  const auto kicked = [&] { return FKicks != AKicks || FTerminated.load(); };
  if (ADeadline == std::chrono::steady_clock::time_point::max()) {
    FStateChanged.wait(lock, kicked);
  } else {
    FStateChanged.wait_until(lock, ADeadline, kicked);
  }
}

void TMqttWorkerThread::Synchronize(const TNotifyEvent& AEvent) {
  if (AEvent) MainThread().Synchronize(AEvent);
}

void TMqttWorkerThread::Execute() {
  TMqttLogHelper::Info(Logger(), this, "Thread Started");
  while (!Terminated()) {
    if (Paused()) {
      std::unique_lock lock(FStateLock);
      FStateChanged.wait(lock, [this] { return !FPaused.load() || FTerminated.load(); });
      continue;
    }
    try {
      Work();
    } catch (const std::exception& e) {
      TMqttLogHelper::Error(Logger(), this, "Thread iteration failed", &e);
      WaitForKick(Kicks(), std::chrono::steady_clock::now() + kErrorPause);
    }
  }
  TMqttLogHelper::Info(Logger(), this, "Thread Stopped");
}

}  // namespace kestova
