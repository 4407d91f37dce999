#include "serial/serial_event_thread.h"

namespace kestova {

namespace {
constexpr uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;
}

TSerialCommEventThread::TSerialCommEventThread(TMainThread& main, std::shared_ptr<TSerialDevice> device,
                                               uint32_t eventMask, int32_t readSize, TSerialLineErrors& errors,
                                               TDispatch dispatch)
    : TSerialThread(main),
      FDevice(std::move(device)),
      FEventMask(eventMask),
      FReadSize(readSize),
      FErrors(errors),
      FDispatch(std::move(dispatch)) {}

TSerialCommEventThread::~TSerialCommEventThread() {
  Stop();
  Worker().Join();
}

void TSerialCommEventThread::Start(TThreadPriority priority) {
  // The line as it is at opening, read on the opening thread: what changes afterwards is an
  // event, however soon the thread gets to run.
  FHaveCounters = FDevice->GetCounters(FCounters) == 0;
  FHaveLines = FDevice->GetModemLines(FLines) == 0;
  StartWorker("serial-event", priority, [this] { Run(); });
}

void TSerialCommEventThread::Stop() noexcept {
  FTerminated = true;
  FStop.Signal();
}

void TSerialCommEventThread::TransmitStarted() noexcept {
  if ((FEventMask & EV_TXEMPTY) == 0) return;
  FTxPending = true;
  FPoke.Signal();
}

void TSerialCommEventThread::Run() {
  TSerialCounters counters = FCounters;
  bool haveCounters = FHaveCounters;
  uint32_t lines = FLines;
  bool haveLines = FHaveLines;
  const bool watchModem = (FEventMask & kModemEvents) != 0;
  bool hungUp = false;
  bool above80 = false;
  const int wakeFds[] = {FStop.Fd(), FPoke.Fd()};

  while (!FTerminated) {
    const bool sample = !hungUp && ((watchModem && (haveCounters || haveLines)) || FTxPending);
    TSerialLineWake wake;
    const int rc = FDevice->WaitLine(wakeFds, sample ? TDeadline::After(kModemSample) : TDeadline::Never(), wake);
    if (FTerminated) break;
    uint32_t occurred = 0;
    if (rc != 0) {
      // The device can no longer be waited on: report it once, then only wait to be stopped.
      if (!hungUp) FErrors.Latch(CE_IOE);
      if (!hungUp && (FEventMask & EV_ERR)) FDispatch(*this, EV_ERR);
      hungUp = true;
      FStop.Wait(TDeadline::Never());
      continue;
    }
    FPoke.Consume();
    if (wake.Readable) {
      occurred |= EV_RXCHAR;
      if (FEventMask & EV_RX80FULL) {
        int32_t queued = 0;
        FDevice->InputQueued(queued);
        const bool above = static_cast<int64_t>(queued) * 10 >= static_cast<int64_t>(FReadSize) * 8;
        if (above && !above80) occurred |= EV_RX80FULL;
        above80 = above;
      }
    }
    if (wake.HangUp && !hungUp) {
      hungUp = true;
      FErrors.Latch(CE_IOE);
      occurred |= EV_ERR;
    }
    if (haveCounters && !hungUp) {
      TSerialCounters now;
      if (FDevice->GetCounters(now) == 0) {
        occurred |= CounterEvents(counters, now);
        counters = now;
      } else {
        haveCounters = false;
      }
    }
    if (haveLines && watchModem && !hungUp) {
      uint32_t now = 0;
      if (FDevice->GetModemLines(now) == 0) {
        // With counters, transitions too short to be seen in two readings are counted anyway.
        if (!haveCounters) occurred |= ModemLineEvents(lines, now);
        lines = now;
      } else {
        haveLines = false;
      }
    }
    if (FTxPending) {
      int32_t queued = 0;
      if (FDevice->OutputQueued(queued) != 0 || queued == 0) {
        FTxPending = false;
        occurred |= EV_TXEMPTY;
      }
    }
    const uint32_t mask = occurred & FEventMask;
    if (mask != 0) FDispatch(*this, mask);
  }
}

}  // namespace kestova
