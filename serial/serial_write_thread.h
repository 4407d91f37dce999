#pragma once
// The write thread of a port in queued mode: it owns the write queue and sends what writers
// append, reporting an emptied queue and failed writes to its port.
//
// Thread safety: Queue() and DataQueued() under the port's write lock, from any thread; Flush
// and Stop from any thread; the report callback runs on this thread.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

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
                         std::condition_variable& room, int32_t capacity, TSerialLineErrors& errors, TReport report,
                         TRetryPause retry_pause);
  ~TSerialCommWriteThread() override;

  void Start(TThreadPriority priority);
  void Stop() noexcept { FClose.Set(); }

  TSerialCommBuffer& Queue() noexcept { return FQueue; }
  void DataQueued() noexcept { FDataQueued.Set(); }

  // Asks the thread to drop what is queued; true when it has, within `timeout_ms`. A request
  // that timed out is withdrawn, so it never drops bytes queued after the caller gave up.
  bool Flush(int timeout_ms);

 private:
  void Run();
  void Complete(std::size_t written);
  void HandleFlush();

  std::shared_ptr<TSerialDevice> FDevice;
  std::mutex& FWriteSection;
  std::condition_variable& FRoom;
  TSerialLineErrors& FErrors;
  TReport FReport;
  TRetryPause FRetryPause;
  TSerialCommBuffer FQueue;
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
