#include "serial/serial_write_thread.h"

#include <algorithm>
#include <cerrno>

namespace kestova {

TSerialCommWriteThread::TSerialCommWriteThread(TMainThread& main, std::shared_ptr<TSerialDevice> device,
                                               std::mutex& write_section, std::condition_variable& room,
                                               int32_t capacity, bool newest_only, TSerialLineErrors& errors,
                                               TReport report, TRetryPause retry_pause)
    : TSerialThread(main),
      FDevice(std::move(device)),
      FWriteSection(write_section),
      FRoom(room),
      FErrors(errors),
      FReport(std::move(report)),
      FRetryPause(std::move(retry_pause)),
      FQueue(capacity),
      FNewestOnly(newest_only) {}

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
    if (FNewestOnly) {
      if (!SendNewest()) return;
      continue;
    }

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
      const TDriverWait wait = WaitForDriver();
      if (wait == TDriverWait::Closed) return;
      if (wait != TDriverWait::Failed) continue;  // after a flush the unsent bytes are gone with the queue
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

TSerialCommWriteThread::TDriverWait TSerialCommWriteThread::WaitForDriver() {
  const int wake[] = {FClose.Fd(), FFlush.Fd()};
  bool writable = false;
  uint32_t woken = 0;
  if (FDevice->WaitWritable(wake, -1, writable, woken) != 0) return TDriverWait::Failed;
  if (woken & 1) return TDriverWait::Closed;
  if (woken & 2) {
    HandleFlush();
    return TDriverWait::Flushed;
  }
  return TDriverWait::Ready;
}

bool TSerialCommWriteThread::SendNewest() {
  using Clock = std::chrono::steady_clock;
  // The line is still sending the frame before: newer frames may yet replace what is queued.
  if (const int left = RemainingMs(FLineFreeAt); left > 0) {
    const uint32_t woken = WaitForEvents({&FClose, &FFlush}, left);
    if (woken & 1) return false;
    if (woken & 2) HandleFlush();
    return true;
  }
  {
    std::lock_guard lock(FWriteSection);
    FFrame.assign(FQueue.DataPtr(), FQueue.DataPtr() + FQueue.Size());
    FQueue.Clear();
    FDataQueued.Reset();
  }
  FRoom.notify_all();
  std::size_t sent = 0;
  while (sent < FFrame.size()) {
    std::size_t written = 0;
    const int rc = FDevice->Write(FFrame.data() + sent, FFrame.size() - sent, written);
    if (rc == 0 && written > 0) {
      sent += written;
      continue;
    }
    if (rc == 0 || rc == EAGAIN) {
      const TDriverWait wait = WaitForDriver();
      if (wait == TDriverWait::Closed) return false;
      if (wait == TDriverWait::Flushed) return true;  // the purge drops the frame in hand too
      if (wait == TDriverWait::Ready) continue;
    }
    FErrors.Latch(CE_IOE);
    FReport(*this, EV_ERR);
    const uint32_t woken = WaitForEvents({&FClose, &FFlush}, FRetryPause());
    if (woken & 1) return false;
    if (woken & 2) {
      HandleFlush();
      return true;
    }
    // A newer frame replaces the rest of this one; it starts whole, with its own clear byte.
    if (FDataQueued.IsSet()) return true;
  }
  const auto frame_time = std::chrono::nanoseconds(static_cast<int64_t>(FFrame.size()) * FCharacterNs.load());
  FLineFreeAt = std::max(Clock::now(), FLineFreeAt) + frame_time;
  bool empty = false;
  {
    std::lock_guard lock(FWriteSection);
    empty = FQueue.Size() == 0;
  }
  if (empty) FReport(*this, EV_TXEMPTY);
  return true;
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
