#include "serial/serial_write_thread.h"

#include <algorithm>
#include <cerrno>

namespace kestova {

TSerialCommWriteThread::TSerialCommWriteThread(TMainThread& main, std::shared_ptr<TSerialDevice> device,
                                               std::mutex& writeSection, std::condition_variable& room,
                                               int32_t capacity, bool newestOnly, TSerialLineErrors& errors,
                                               TReport report, TRetryPause retryPause)
    : TSerialThread(main),
      FDevice(std::move(device)),
      FWriteSection(writeSection),
      FRoom(room),
      FErrors(errors),
      FReport(std::move(report)),
      FRetryPause(std::move(retryPause)),
      FQueue(capacity),
      FNewestOnly(newestOnly) {}

TSerialCommWriteThread::~TSerialCommWriteThread() {
  Stop();
  Worker().Join();
}

void TSerialCommWriteThread::Start(TThreadPriority priority) {
  StartWorker("serial-write", priority, [this] { Run(); });
}

void TSerialCommWriteThread::Run() {
  for (;;) {
    WaitForAny({&FStop, &FFlush, &FDataQueued}, TDeadline::Never());
    if (FStop.IsSignalled()) return;
    if (FFlush.IsSignalled()) {
      HandleFlush();
      continue;
    }
    if (!FDataQueued.IsSignalled()) continue;
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
      const TWake wake = WaitForDriver();
      if (wake == TWake::wkStop) return;
      if (wake != TWake::wkDriverFailed) continue;  // after a flush the unsent bytes are gone with the queue
    }
    // A failed write: the bytes stay queued. Report it once, then try again after a pause
    // rather than at once, so a device that refuses every write (unplugged) neither keeps a
    // core busy nor floods the error handler.
    FErrors.Latch(CE_IOE);
    FReport(*this, EV_ERR);
    if (Pause(TDeadline::After(FRetryPause())) == TWake::wkStop) return;
  }
}

TSerialCommWriteThread::TWake TSerialCommWriteThread::Pause(TDeadline deadline) {
  WaitForAny({&FStop, &FFlush}, deadline);
  if (FStop.IsSignalled()) return TWake::wkStop;
  if (!FFlush.IsSignalled()) return TWake::wkTimeOut;
  HandleFlush();
  return TWake::wkFlushed;
}

TSerialCommWriteThread::TWake TSerialCommWriteThread::WaitForDriver() {
  const int wakeFds[] = {FStop.Fd(), FFlush.Fd()};
  bool writable = false;
  if (FDevice->WaitWritable(wakeFds, TDeadline::Never(), writable) != 0) return TWake::wkDriverFailed;
  if (FStop.IsSignalled()) return TWake::wkStop;
  if (!FFlush.IsSignalled()) return TWake::wkDriverReady;
  HandleFlush();
  return TWake::wkFlushed;
}

bool TSerialCommWriteThread::SendNewest() {
  using Clock = std::chrono::steady_clock;
  // The line is still sending the frame before: newer frames may yet replace what is queued.
  const TDeadline lineFree = TDeadline::At(FLineFreeAt);
  if (!lineFree.Expired()) return Pause(lineFree) != TWake::wkStop;
  {
    std::lock_guard lock(FWriteSection);
    FFrame.assign(FQueue.DataPtr(), FQueue.DataPtr() + FQueue.Size());
    FQueue.Clear();
    FDataQueued.Consume();
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
      const TWake wake = WaitForDriver();
      if (wake == TWake::wkStop) return false;
      if (wake == TWake::wkFlushed) return true;  // the purge drops the frame in hand too
      if (wake == TWake::wkDriverReady) continue;
    }
    FErrors.Latch(CE_IOE);
    FReport(*this, EV_ERR);
    switch (Pause(TDeadline::After(FRetryPause()))) {
      case TWake::wkStop: return false;
      case TWake::wkFlushed: return true;
      default: break;
    }
    // A newer frame replaces the rest of this one; it starts whole, with its own clear byte.
    if (FDataQueued.IsSignalled()) return true;
  }
  const auto frameTime = std::chrono::nanoseconds(static_cast<int64_t>(FFrame.size()) * FCharacterNs.load());
  FLineFreeAt = std::max(Clock::now(), FLineFreeAt) + frameTime;
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
    if (empty) FDataQueued.Consume();
  }
  FRoom.notify_all();
  if (empty) FReport(*this, EV_TXEMPTY);
}

void TSerialCommWriteThread::HandleFlush() {
  FFlush.Consume();
  {
    std::lock_guard flushLock(FFlushLock);
    if (FFlushWaiting) {
      {
        // Cleared here, by the only thread that sends from the queue, so no write can be
        // reading bytes that a writer is already replacing.
        std::lock_guard lock(FWriteSection);
        FQueue.Clear();
        FDataQueued.Consume();
      }
      FFlushAcked = FFlushRequested;
      FFlushWaiting = false;
    }
  }
  FFlushDone.notify_all();
  FRoom.notify_all();
}

bool TSerialCommWriteThread::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(FFlushLock);
  const uint64_t request = ++FFlushRequested;
  FFlushWaiting = true;
  FFlush.Signal();
  const bool done = FFlushDone.wait_for(lock, timeout, [&] { return FFlushAcked >= request; });
  if (!done) FFlushWaiting = false;
  return done;
}

}  // namespace kestova
