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

#include "platform/deadline.h"
#include "platform/wake_event.h"
#include "serial/serial_comm_buffer.h"
#include "serial/serial_device.h"
#include "serial/serial_error.h"
#include "serial/serial_line_errors.h"
#include "serial/serial_thread.h"

namespace kestova {

class TSerialCommWriteThread : public TSerialThread {
 public:
  // Runs the port's line-event step for `mask` (EV_TXEMPTY, EV_ERR) and returns when done.
  using TReport = std::function<void(TSerialCommWriteThread& self, uint32_t mask)>;
  // How long to wait before trying a failed write again.
  using TRetryPause = std::function<std::chrono::milliseconds()>;

  TSerialCommWriteThread(TMainThread& main, std::shared_ptr<TSerialDevice> device, std::mutex& writeSection,
                         std::condition_variable& room, int32_t capacity, bool newestOnly, TSerialLineErrors& errors,
                         TReport report, TRetryPause retryPause);
  ~TSerialCommWriteThread() override;

  void Start(TThreadPriority priority);
  void Stop() noexcept { FStop.Signal(); }

  TSerialCommBuffer& Queue() noexcept { return FQueue; }
  void DataQueued() noexcept { FDataQueued.Signal(); }
  bool NewestOnly() const noexcept { return FNewestOnly; }
  // How long the line takes per character (0: unknown, frames are not paced).
  void SetCharacterTime(int64_t nanoseconds) noexcept { FCharacterNs = nanoseconds; }

  // Asks the thread to drop what is queued; true when it has, within `timeout`. A request that
  // timed out is withdrawn, so it never drops bytes queued after the caller gave up.
  bool Flush(std::chrono::milliseconds timeout);

 private:
  // What ended a wait of the thread: Stop, a flush request (handled by then: the queue has been
  // cleared), the deadline, or for a wait on the driver its room for more bytes or its failure.
  enum class TWake : uint8_t { wkStop, wkFlushed, wkTimeOut, wkDriverReady, wkDriverFailed };

  void Run();
  void Complete(std::size_t written);
  void HandleFlush();
  // One step of newest-only sending; false when the thread is to end.
  bool SendNewest();
  // Pauses until `deadline`, unless stopped or flushed first (wkStop, wkFlushed, wkTimeOut).
  TWake Pause(TDeadline deadline);
  // Waits until the driver takes more bytes (wkDriverReady), fails (wkDriverFailed), or the
  // thread is stopped or flushed.
  TWake WaitForDriver();

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
  // Signalled while the queue holds bytes; reset under the write lock when it empties.
  TWakeEvent FDataQueued{RaiseEventError};
  TWakeEvent FStop{RaiseEventError};  // never consumed
  TWakeEvent FFlush{RaiseEventError};

  std::mutex FFlushLock;
  std::condition_variable FFlushDone;
  uint64_t FFlushRequested = 0;
  uint64_t FFlushAcked = 0;
  bool FFlushWaiting = false;
};

}  // namespace kestova
