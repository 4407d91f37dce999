#pragma once
// The write thread's reports (an emptied queue, a failed write) on their way to the main thread.
// They are queued, not waited for: the write thread goes on sending while its report waits,
// so a main thread that waits for room in the queue never waits for the thread that makes the
// room. A report posted while an earlier one has not run yet is merged into it (its event bits
// are or-ed), so a busy main thread gets one call, not a backlog.
//
// Thread safety: Post from any thread; Close on the main thread; the handler runs on the main
// thread, never after Close has returned.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/main_thread.h"

namespace kestova {

class TSerialReportBox : public std::enable_shared_from_this<TSerialReportBox> {
 public:
  using THandler = std::function<void(uint32_t mask)>;

  // Made with std::make_shared: queued reports hold the box.
  TSerialReportBox(TMainThread& main, THandler handler) : FMain(main), FHandler(std::move(handler)) {}

  void Post(uint32_t mask);
  // Drops what has not run yet, and every later report.
  void Close();

 private:
  void Run();

  TMainThread& FMain;
  std::mutex FLock;
  THandler FHandler;  // empty once closed
  uint32_t FMask = 0;
  bool FPosted = false;
};

}  // namespace kestova
