#include "serial/serial_thread.h"

#include <sys/resource.h>
#include <unistd.h>

namespace kestova {

void ApplyThreadPriority(pid_t tid, TThreadPriority priority) noexcept {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -15};
  if (tid <= 0 || priority > tpTimeCritical) return;
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[priority]);
}

void TSerialThread::SetPriority(TThreadPriority priority) noexcept {
  FPriority = priority;
  ApplyThreadPriority(FTid.load(), priority);
}

void TSerialThread::StartWorker(const std::string& name, TThreadPriority priority, std::function<void()> body) {
  FPriority = priority;
  FWorker.Start(name, [this, body = std::move(body)] {
    FTid = gettid();
    ApplyThreadPriority(FTid.load(), FPriority.load());
    body();
  });
}

}  // namespace kestova
