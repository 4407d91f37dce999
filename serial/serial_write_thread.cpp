#include "serial/serial_write_thread.h"

#include <cerrno>
#include <chrono>

namespace kestova {

TSerialCommWriteThread::TSerialCommWriteThread(TMainThread& main, std::shared_ptr<TSerialDevice> device,
                                               std::mutex& write_section, std::condition_variable& room,
                                               int32_t capacity, TSerialLineErrors& errors, TReport report,
                                               TRetryPause retry_pause)
    : TSerialThread(main),
      FDevice(std::move(device)),
      FWriteSection(write_section),
      FRoom(room),
      FErrors(errors),
      FReport(std::move(report)),
      FRetryPause(std::move(retry_pause)),
      FQueue(capacity) {}

TSerialCommWriteThread::~TSerialCommWriteThread() {
  Stop();
  Worker().Join();
}

void TSerialCommWriteThread::Start(TThreadPriority priority) { StartWorker("serial-write", priority, [this] { Run(); }); }

void TSerialCommWriteThread::Run() {
  for (;;) {
    WaitForEvents({&FClose, &FFlush, &FDataQueued}, -1);
    if (FClose.IsSet()) return;
    if (FFlush.IsSet()) {
      HandleFlush();
      continue;
    }
    if (!FDataQueued.IsSet()) continue;

    // Writers only append behind these bytes and only this thread removes them, so they can be
    // sent without the lock.
    const uint8_t* data = nullptr;
    int32_t count = 0;
    {
      std::lock_guard lock(FWriteSection);
      data = FQueue.DataPtr();
      count = FQueue.Size();
    }
    if (count == 0) {
      Complete(0);
      continue;
    }
    std::size_t written = 0;
    int rc = FDevice->Write(data, static_cast<std::size_t>(count), written);
    if (rc == 0 && written > 0) {
      Complete(written);
      continue;
    }
    if (rc == 0 || rc == EAGAIN) {
      // The driver is full (flow control, a slow line): wait until it takes more.
      const int wake[] = {FClose.Fd(), FFlush.Fd()};
      bool writable = false;
      uint32_t woken = 0;
      rc = FDevice->WaitWritable(wake, -1, writable, woken);
      if (rc == 0) {
        if (woken & 1) return;
        if (woken & 2) HandleFlush();  // the bytes not yet sent are dropped with the queue
        continue;
      }
    }
    // A failed write: the bytes stay queued. Report it once, then try again after a pause
    // rather than at once, so a device that refuses every write (unplugged) neither keeps a
    // core busy nor floods the error handler.
    FErrors.Latch(CE_IOE);
    FReport(*this, EV_ERR);
    const uint32_t woken = WaitForEvents({&FClose, &FFlush}, FRetryPause());
    if (woken & 1) return;
    if (woken & 2) HandleFlush();
  }
}

void TSerialCommWriteThread::Complete(std::size_t written) {
  bool empty = false;
  {
    std::lock_guard lock(FWriteSection);
    FQueue.Remove(static_cast<int32_t>(written));
    // Tested and reset under the same lock as the removal: a writer appending meanwhile sets
    // the event again after this, so its bytes are never left waiting.
    empty = FQueue.Size() == 0;
    if (empty) FDataQueued.Reset();
  }
  FRoom.notify_all();
  if (empty) FReport(*this, EV_TXEMPTY);
}

void TSerialCommWriteThread::HandleFlush() {
  FFlush.Reset();
  {
    std::lock_guard flush_lock(FFlushLock);
    if (FFlushWaiting) {
      {
        // Cleared here, by the only thread that sends from the queue, so no write can be
        // reading bytes that a writer is already replacing.
        std::lock_guard lock(FWriteSection);
        FQueue.Clear();
        FDataQueued.Reset();
      }
      FFlushAcked = FFlushRequested;
      FFlushWaiting = false;
    }
  }
  FFlushDone.notify_all();
  FRoom.notify_all();
}

bool TSerialCommWriteThread::Flush(int timeout_ms) {
  std::unique_lock lock(FFlushLock);
  const uint64_t request = ++FFlushRequested;
  FFlushWaiting = true;
  FFlush.Set();
  const bool done = FFlushDone.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                        [&] { return FFlushAcked >= request; });
  if (!done) FFlushWaiting = false;
  return done;
}

}  // namespace kestova
