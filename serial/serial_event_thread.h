#pragma once
// The event thread of an open port: it waits on the line and hands the events that occurred
// (masked by the port's event mask) to its port's dispatch.
//
// Linux has no line-event wait, so the thread builds the events from what it can see:
// - EV_RXCHAR: bytes arrived (an edge-triggered wait, so bytes left unread cost nothing);
//   EV_RX80FULL: the receive queue crossed 80 % of Buffers.ReadSize on an arrival;
// - EV_ERR and EV_BREAK: the kernel's error counters moved (read on every arrival, since line
//   errors come with received characters), or the line hung up (CE_IOE);
// - EV_CTS, EV_DSR, EV_RING, EV_RLSD: the modem lines changed. The kernel's only wait for them
//   (TIOCMIWAIT) cannot be interrupted to stop the thread, so while such an event is monitored
//   and the device has modem lines, the lines are read every kModemSample;
// - EV_TXEMPTY (direct writing only): the driver's transmit queue became empty after a write;
// - EV_RXFLAG, EV_PERR, EV_EVENT1, EV_EVENT2: never (no Linux counterpart).
//
// Thread safety: Stop and TransmitStarted from any thread; the dispatch runs on this thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/wake_event.h"
#include "serial/serial_device.h"
#include "serial/serial_error.h"
#include "serial/serial_line_errors.h"
#include "serial/serial_thread.h"

namespace kestova {

inline constexpr std::chrono::milliseconds kModemSample{10};

class TSerialCommEventThread : public TSerialThread {
 public:
  using TDispatch = std::function<void(TSerialCommEventThread& self, uint32_t mask)>;

  TSerialCommEventThread(TMainThread& main, std::shared_ptr<TSerialDevice> device, uint32_t eventMask, int32_t readSize,
                         TSerialLineErrors& errors, TDispatch dispatch);
  ~TSerialCommEventThread() override;

  void Start(TThreadPriority priority);
  void Stop() noexcept;
  bool Terminated() const noexcept { return FTerminated.load(); }
  void TransmitStarted() noexcept;

 private:
  void Run();

  std::shared_ptr<TSerialDevice> FDevice;
  const uint32_t FEventMask;
  const int32_t FReadSize;
  TSerialLineErrors& FErrors;
  TDispatch FDispatch;
  TWakeEvent FStop{RaiseEventError};  // never consumed: every later wait ends at once
  TWakeEvent FPoke{RaiseEventError};  // a direct write was handed to the driver
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FTxPending{false};
  TSerialCounters FCounters;  // at opening
  bool FHaveCounters = false;
  uint32_t FLines = 0;
  bool FHaveLines = false;
};

}  // namespace kestova
