// The port's output, status, purging, error step and event dispatch.
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/deadline.h"
#include "serial/serial_custom_comm.h"
#include "serial/serial_dispatcher.h"
#include "serial/serial_display.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_line_control.h"
#include "serial/serial_write_thread.h"

namespace kestova {

// ---- the error step

void TSerialCustomComm::Error(const std::string& templ, int code) {
  const std::string text = SerialSysErrorText(code);
  if (auto handler = OnErrorException) {
    handler(*this, code, text);
    return;
  }
  throw ESerialCommError(Format(templ.c_str(), code, text));
}

void TSerialCustomComm::Watch(int code, const std::string& templ) {
  if (code != 0) Error(templ, code);
}

void TSerialCustomComm::Guarded(const std::function<void()>& step) noexcept {
  std::string message;
  try {
    step();
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown exception";
  }
  try {
    if (auto handler = OnApplicationException) {
      handler(*this, message);
      return;
    }
  } catch (...) {
    // The handler of last resort failed too: fall back to standard error.
  }
  std::fprintf(stderr, "%s\n", message.c_str());
}

// ---- output

int32_t TSerialCustomComm::WriteBuf(const void* Buf, int32_t Count) {
  if (!Active() || Count <= 0) return 0;
  if (FDirectWrite) return DirectWriteBuf(Buf, Count);
  if (WriteBuffer(Buf, Count)) return Count;
  if (!Active()) return 0;  // closed while waiting for room
  Error(sErrOutputFull, 0);
  return 0;
}

bool TSerialCustomComm::WriteText(const ByteString& s) {
  return WriteBuf(s.data(), static_cast<int32_t>(s.size())) == static_cast<int32_t>(s.size());
}

bool TSerialCustomComm::WriteChar(char Ch) { return WriteBuf(&Ch, 1) == 1; }

bool TSerialCustomComm::WriteBuffer(const void* Buf, int32_t Count) {
  std::unique_lock lock(FWriteSection);
  if (!FWriteThread) return false;
  const auto fits = [&] {
    if (!FWriteThread) return true;  // closing: stop waiting
    const TSerialCommBuffer& queue = FWriteThread->Queue();
    // A newest-only frame takes the place of what waits.
    const int64_t queued = FWriteThread->NewestOnly() ? 0 : queue.Size();
    return queued + Count <= queue.Capacity();
  };
  if (!fits()) {
    // A timed wait, woken by every removal from the queue: no core is kept busy meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FBuffers->WriteTimeout());
    FWriteRoom.wait_until(lock, deadline, fits);
  }
  if (!FWriteThread || !fits()) return false;
  TSerialCommBuffer& queue = FWriteThread->Queue();
  if (FWriteThread->NewestOnly()) queue.Clear();
  if (!queue.Write(Buf, Count)) return false;
  FWriteThread->DataQueued();
  return true;
}

int32_t TSerialCustomComm::DirectWriteBuf(const void* Buf, int32_t Count) {
  const auto* bytes = static_cast<const uint8_t*>(Buf);
  int32_t total = 0;
  int rc = 0;
  {
    std::lock_guard lock(FWriteSection);
    const std::shared_ptr<TSerialDevice> device = FDevice;
    if (!device) return 0;
    const TDeadline deadline = TDeadline::After(std::chrono::milliseconds(FBuffers->WriteTimeout()));
    while (total < Count) {
      std::size_t n = 0;
      rc = device->Write(bytes + total, static_cast<std::size_t>(Count - total), n);
      if (rc == 0 && n > 0) {
        total += static_cast<int32_t>(n);
        continue;
      }
      if (rc != 0 && rc != EAGAIN) break;
      rc = 0;
      if (deadline.Expired()) break;  // timed out: the caller learns how much the driver took
      bool writable = false;
      rc = device->WaitWritable({}, deadline, writable);
      if (rc != 0) break;
    }
    if (total > 0 && FTxWatcher) FTxWatcher->TransmitStarted();
  }
  if (rc != 0) Error(sErrWrite, rc);
  return total;
}

// ---- status

TSerialComStat TSerialCustomComm::ReadPortStatus(bool takeErrors) {
  TSerialComStat stat;
  int rc = 0;
  {
    std::lock_guard lock(FGlobalSection);
    if (!Active() || !FDevice) return stat;
    if (takeErrors) rc = FLineErrors.Take(*FDevice, stat.Errors);
    if (rc == 0) {
      rc = FDevice->InputQueued(stat.InQue);
      if (IsUnsupported(rc)) rc = 0;
    }
    if (rc == 0) {
      rc = FDevice->OutputQueued(stat.OutQue);
      if (IsUnsupported(rc)) rc = 0;
    }
    if (rc == 0) {
      if (FOutputSuspended) stat.Flags |= fXoffHold;
      TSerialTermios t;
      uint32_t lines = 0;
      if (FDevice->GetAttr(t) == 0 && UsesRtsCtsFlow(t) && FDevice->GetModemLines(lines) == 0 &&
          (lines & kModemCts) == 0)
        stat.Flags |= fCtsHold;
    }
  }
  if (rc != 0) Error(sErrStatistics, rc);
  return stat;
}

int32_t TSerialCustomComm::WriteBufUsed() {
  if (!Active()) return 0;
  if (FDirectWrite) return ReadPortStatus().OutQue;
  std::lock_guard lock(FWriteSection);
  return FWriteThread ? FWriteThread->Queue().Size() : 0;
}

int32_t TSerialCustomComm::WriteBufFree() {
  if (!Active()) return 0;
  return FBuffers->WriteSize() - WriteBufUsed();
}

int32_t TSerialCustomComm::UARTWriteBufUsed() { return Active() ? ReadPortStatus().OutQue : 0; }
int32_t TSerialCustomComm::UARTReadBufUsed() { return Active() ? ReadPortStatus().InQue : 0; }
int32_t TSerialCustomComm::ReadBufUsed() { return Active() ? ReadPortStatus().InQue : 0; }
int32_t TSerialCustomComm::ReadBufFree() { return Active() ? FBuffers->ReadSize() - ReadPortStatus().InQue : 0; }

void TSerialCustomComm::Purge(uint32_t flags) {
  if (!Active()) return;
  int rc = 0;
  {
    std::lock_guard lock(FGlobalSection);
    if (flags != (PURGE_RXABORT | PURGE_RXCLEAR)) {
      TSerialCommWriteThread* writer = nullptr;
      {
        std::lock_guard writeLock(FWriteSection);
        writer = FWriteThread.get();
      }
      if (writer) writer->Flush(kFlushTimeout);
    }
    if (FDevice)
      rc = FDevice->Purge((flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0,
                          (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0);
  }
  Watch(rc, sErrClearBuffers);
}

// ---- events

void TSerialCustomComm::ThreadReport(TSerialThread& from, bool sync, uint32_t mask, bool fullDispatch) {
  auto step = [this, &from, mask, fullDispatch] {
    const bool onMain = FMain.IsMainThread();
    TSerialThread* const outer = FSyncCaller;
    if (onMain) FSyncCaller = &from;  // a Close from the handler must not wait for `from`
    Guarded([&] {
      if (fullDispatch)
        Dispatch(mask);
      else
        HandleLineEvent(mask);
    });
    if (onMain) FSyncCaller = outer;
  };
  if (!sync) {
    step();
    return;
  }
  try {
    FMain.Synchronize(step);
  } catch (...) {
    // The main thread runs no more tasks (shut down): the report is dropped, the thread goes on.
  }
}

void TSerialCustomComm::RunWriteReport(uint32_t mask) {
  Guarded([&] { HandleLineEvent(mask); });
}

void TSerialCustomComm::Dispatch(uint32_t mask) {
  if (FDisplay) FDisplay->UpdateDisplay(*this);
  if (mask & EV_RXCHAR) {
    HandleDataEvent();
    mask &= ~EV_RXCHAR;
  }
  if (mask != 0) HandleLineEvent(mask);
}

void TSerialCustomComm::HandleLineEvent(uint32_t mask) {
  if (mask & EV_ERR) ClearLineErrors();
  NotifyClients([mask](ISerialCommUser& user) { user.LineChanged(mask); });
  const std::pair<uint32_t, TNotifyEvent TSerialCustomComm::*> handlers[] = {
      {EV_RXFLAG, &TSerialCustomComm::OnRxFlag},     {EV_CTS, &TSerialCustomComm::OnCts},
      {EV_DSR, &TSerialCustomComm::OnDsr},           {EV_RING, &TSerialCustomComm::OnRing},
      {EV_RLSD, &TSerialCustomComm::OnRlsd},         {EV_TXEMPTY, &TSerialCustomComm::OnTxEmpty},
      {EV_BREAK, &TSerialCustomComm::OnBreak},       {EV_PERR, &TSerialCustomComm::OnPErr},
      {EV_RX80FULL, &TSerialCustomComm::OnRx80Full}, {EV_EVENT1, &TSerialCustomComm::OnEvent1},
      {EV_EVENT2, &TSerialCustomComm::OnEvent2}};
  for (const auto& [bit, member] : handlers) {
    if ((mask & bit) == 0) continue;
    if (auto handler = this->*member) handler(*this);
  }
}

bool TSerialCustomComm::ClearLineErrors() {
  bool errors = false;
  Guarded([&] {
    const TSerialComStat stat = ReadPortStatus(/*takeErrors=*/true);
    errors = stat.Errors != 0;
    if (!errors) return;
    if (auto handler = OnError) handler(*this, static_cast<int32_t>(stat.Errors));
  });
  return errors;
}

}  // namespace kestova
