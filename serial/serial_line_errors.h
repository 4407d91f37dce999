#pragma once
// The line-error mask. Linux keeps running counters of line errors and modem-line transitions
// instead of a mask that reading clears, so the mask is the set of counters that moved since
// the last reading, plus what the threads saw themselves (a hang-up, a failed write).
#include <atomic>
#include <cstdint>

#include "serial/serial_device.h"

namespace kestova {

// CE_ bits of the error counters that moved between two readings.
uint32_t CounterErrorBits(const TSerialCounters& before, const TSerialCounters& now);
// EV_ bits of the counters that moved: breaks, errors and modem-line transitions.
uint32_t CounterEvents(const TSerialCounters& before, const TSerialCounters& now);
// EV_ bits of the modem lines whose level differs between two readings.
uint32_t ModemLineEvents(uint32_t before, uint32_t now);
// True for the answers of a device that has no such counters or lines (a pty, some adapters)
// or has gone away: the port then runs without them instead of failing.
bool IsUnsupported(int err);

// Thread safety: Latch from any thread; Reset and Take under the port's global lock.
class TSerialLineErrors {
 public:
  void Latch(uint32_t bits) noexcept { FPending.fetch_or(bits); }
  // Starts counting from now (at opening): errors from before are not reported.
  void Reset(TSerialDevice& device);
  // Returns and clears the mask; 0 or the errno of a failed counter reading.
  int Take(TSerialDevice& device, uint32_t& errors);

 private:
  std::atomic<uint32_t> FPending{0};
  TSerialCounters FBase;
  bool FCounters = false;
};

}  // namespace kestova
