#pragma once
// The headless main loop: sleeps in poll() on the hand-over's wake-up, a signalfd for SIGINT and
// SIGTERM and the nearest timer deadline, and runs the main thread's tasks. Nothing wakes it
// while there is nothing to do.
//
// Thread safety: Run, timers and the signal handler belong to the main thread; Quit may be
// called from any thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/deadline.h"
#include "platform/main_thread.h"
#include "platform/unique_fd.h"

namespace kestova {

class TEventLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using TimerId = uint64_t;

  explicit TEventLoop(TMainThread& main = MainThread());

  // Block SIGINT and SIGTERM in the calling thread and the threads it starts later, so they
  // reach the loop's signalfd. Call it in main() before any thread starts.
  static void BlockTerminationSignals();
  // A non-blocking signalfd that reads SIGINT and SIGTERM once they are blocked; for loops
  // other than this one (the Qt window's).
  static UniqueFd OpenTerminationSignalFd();

  // Called on the main thread with the signal number; without one a signal ends the loop.
  void SetSignalHandler(std::function<void(int)> handler) { FSignalHandler = std::move(handler); }

  // Runs until Quit; returns the code given to Quit.
  int Run();
  void Quit(int exitCode = 0);

  TimerId CallAfter(std::chrono::milliseconds delay, std::function<void()> callback);
  void CancelTimer(TimerId id);

 private:
  // When the earliest timer is due; never without timers.
  TDeadline NextTimer() const;
  void RunDueTimers();
  void ReadSignals();

  TMainThread& FMain;
  UniqueFd FSignalFd;
  std::function<void(int)> FSignalHandler;
  std::atomic<bool> FQuit{false};
  std::atomic<int> FExitCode{0};
  struct Timer {
    TimerId id;
    std::function<void()> callback;
  };
  std::multimap<Clock::time_point, Timer> FTimers;
  TimerId FNextTimerId = 1;
};

}  // namespace kestova
