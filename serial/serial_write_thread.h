#pragma once
// The write thread of a port in queued mode: it owns the write queue and sends what writers
// append, reporting an emptied queue and failed writes to its port.
//
// Newest-only mode (for a display, which only ever needs its newest text): every write is one
// whole frame and replaces the frames still waiting in the queue. The thread hands the driver
// one frame at a time, whole, and only once the line has had the time to send the frame before
// it (at the character time the port gives), so stale frames wait in the queue, where the next
// one replaces them, rather than in the driver, where nothing can. A burst then costs at most
// about one frame's line time before the newest frame goes out.
//
// Thread safety: Queue() and DataQueued() under the port's write lock, from any thread; Flush,
// Stop and SetCharacterTime from any thread; the report callback runs on this thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/serial_comm_buffer.h"
#include "serial/serial_device.h"
#include "serial/serial_event.h"
#include "serial/serial_line_errors.h"
#include "serial/serial_thread.h"

namespace kestova {

class TSerialCommWriteThread : public TSerialThread {
 public:
  // Runs the port's line-event step for `mask` (EV_TXEMPTY, EV_ERR) and returns when done.
  using TReport = std::function<void(TSerialCommWriteThread& self, uint32_t mask)>;
  // How long to wait before trying a failed write again.
  using TRetryPause = std::function<int()>;

  TSerialCommWriteThread(TMainThread& main, std::shared_ptr<TSerialDevice> device, std::mutex& write_section,
                         std::condition_variable& room, int32_t capacity, bool newest_only, TSerialLineErrors& errors,
                         TReport report, TRetryPause retry_pause);
  ~TSerialCommWriteThread() override;

  void Start(TThreadPriority priority);
  void Stop() noexcept { FClose.Set(); }

  TSerialCommBuffer& Queue() noexcept { return FQueue; }
  void DataQueued() noexcept { FDataQueued.Set(); }
  bool NewestOnly() const noexcept { return FNewestOnly; }
  // How long the line takes per character (0: unknown, frames are not paced).
  void SetCharacterTime(int64_t nanoseconds) noexcept { FCharacterNs = nanoseconds; }

  // Asks the thread to drop what is queued; true when it has, within `timeout_ms`. A request
  // that timed out is withdrawn, so it never drops bytes queued after the caller gave up.
  bool Flush(int timeout_ms);

 private:
  void Run();
  void Complete(std::size_t written);
  void HandleFlush();
  // One step of newest-only sending; false when the thread is to end.
  bool SendNewest();
  // Waits until the driver takes more bytes, or the thread is closed or flushed (then the queue
  // has been cleared).
  enum class TDriverWait { Ready, Closed, Flushed, Failed };
  TDriverWait WaitForDriver();

  std::shared_ptr<TSerialDevice> FDevice;
  std::mutex& FWriteSection;
  std::condition_variable& FRoom;
  TSerialLineErrors& FErrors;
  TReport FReport;
  TRetryPause FRetryPause;
  TSerialCommBuffer FQueue;
  const bool FNewestOnly;
  std::atomic<int64_t> FCharacterNs{0};
  std::vector<uint8_t> FFrame;  // newest-only: the frame being handed to the driver
  std::chrono::steady_clock::time_point FLineFreeAt{};
  TSerialEvent FDataQueued;
  TSerialEvent FClose;
  TSerialEvent FFlush;

  std::mutex FFlushLock;
  std::condition_variable FFlushDone;
  uint64_t FFlushRequested = 0;
  uint64_t FFlushAcked = 0;
  bool FFlushWaiting = false;
};

}  // namespace kestova
