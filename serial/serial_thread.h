#pragma once
// What the port's two threads share: a named worker owned by the thread object, and a
// priority that can be changed while it runs.
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>

#include "platform/main_thread.h"
#include "serial/serial_types.h"

namespace kestova {

// Applies one of the seven levels to a running thread as its nice value. Raising the priority
// needs CAP_SYS_NICE; without it the thread keeps its level (best effort, never an error).
void ApplyThreadPriority(pid_t tid, TThreadPriority priority) noexcept;

class TSerialThread {
 public:
  explicit TSerialThread(TMainThread& main) : FWorker(main) {}
  virtual ~TSerialThread() = default;
  TSerialThread(const TSerialThread&) = delete;
  TSerialThread& operator=(const TSerialThread&) = delete;

  // Any thread.
  void SetPriority(TThreadPriority priority) noexcept;
  TThreadPriority Priority() const noexcept { return FPriority.load(); }
  TWorkerThread& Worker() noexcept { return FWorker; }
  bool IsCurrentThread() const noexcept { return FWorker.IsCurrentThread(); }

 protected:
  void StartWorker(const std::string& name, TThreadPriority priority, std::function<void()> body);

 private:
  TWorkerThread FWorker;
  std::atomic<TThreadPriority> FPriority{tpNormal};
  std::atomic<pid_t> FTid{0};
};

}  // namespace kestova
