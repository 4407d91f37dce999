#pragma once
// The common loop of the MQTT client's reader, writer and keep-alive threads: "Thread
// Started", then until told to stop: when not paused, one Work iteration; then "Thread
// Stopped". Nothing in it polls: a paused thread sleeps until it is resumed or stopped, and
// each Work blocks on its socket, queue or next deadline and returns early when WakeWork is
// called (pausing, resuming and stopping call it).
//
// Notifications to the client run on the main thread through a synchronous hand-over: the
// worker waits until the main thread has run the handler, and an error the handler raises
// comes back to the worker. No lock of the worker is held meanwhile.
//
// Thread safety: SetPaused, Paused, Terminate, Terminated, Kick and SetLogger from any thread;
// WaitFor from the owner (on the main thread it keeps running handed-over calls while it waits,
// so a worker blocked in a hand-over can finish). The owner stops and joins the thread before
// destroying it (the most-derived destructor calls Stop).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "mqtt/logger.h"
#include "platform/main_thread.h"

namespace kestova {

class TMqttNetworkConnection;
class TMqttClientSession;

class TMqttWorkerThread {
 public:
  using TNotifyEvent = std::function<void()>;

  virtual ~TMqttWorkerThread();
  TMqttWorkerThread(const TMqttWorkerThread&) = delete;
  TMqttWorkerThread& operator=(const TMqttWorkerThread&) = delete;

  bool Paused() const noexcept { return FPaused.load(); }
  // Also wakes the thread, so a resumed worker looks for work at once.
  void SetPaused(bool APaused);
  // Tell the thread to stop after the iteration in progress.
  void Terminate();
  bool Terminated() const noexcept { return FTerminated.load(); }
  // Wait until the thread has ended (see the header comment).
  void WaitFor();
  // Wake the thread: its Work looks at its state again now.
  void Kick();

  void SetLogger(TMqttLogger* ALogger) noexcept { FLogger.store(ALogger); }
  TMqttLogger* Logger() const noexcept { return FLogger.load(); }

 protected:
  TMqttWorkerThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession, TMqttLogger* ALog);

  // The last statement of the most-derived constructor: the thread starts running.
  void Start(const std::string& AName);
  // The first statement of the most-derived destructor: Terminate and WaitFor.
  void Stop();

  // One iteration; blocks until there is something to do, a deadline comes, or WakeWork.
  virtual void Work() = 0;
  // Release a Work that blocks (set by the derived class: its socket, queue or timer).
  virtual void WakeWork() noexcept = 0;

  // Sleep until Kick, SetPaused or Terminate is called after AKicks was read, or ADeadline
  // (time_point::max(): no deadline). For a Work that has nothing else to block on.
  void WaitForKick(uint64_t AKicks, std::chrono::steady_clock::time_point ADeadline);
  uint64_t Kicks() const;

  // Run AEvent on the main thread and wait for it; what it raises comes back here.
  static void Synchronize(const TNotifyEvent& AEvent);

  TMqttNetworkConnection& FConnection;
  TMqttClientSession& FSession;

 private:
  void Execute();

  std::atomic<TMqttLogger*> FLogger;
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FTerminated{false};
  mutable std::mutex FStateLock;
  std::condition_variable FStateChanged;
  uint64_t FKicks = 0;  // guarded by FStateLock
  TWorkerThread FThread;
};

}  // namespace kestova
