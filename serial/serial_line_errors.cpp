#include "serial/serial_line_errors.h"

#include <cerrno>

#include "serial/serial_types.h"

namespace kestova {

namespace {
constexpr int kNoIoctlCmd = 515;  // the kernel's ENOIOCTLCMD, should it ever leak out
}

uint32_t CounterErrorBits(const TSerialCounters& before, const TSerialCounters& now) {
  uint32_t bits = 0;
  if (now.BufOverrun != before.BufOverrun) bits |= CE_RXOVER;
  if (now.Overrun != before.Overrun) bits |= CE_OVERRUN;
  if (now.Parity != before.Parity) bits |= CE_RXPARITY;
  if (now.Frame != before.Frame) bits |= CE_FRAME;
  if (now.Brk != before.Brk) bits |= CE_BREAK;
  return bits;
}

uint32_t CounterEvents(const TSerialCounters& before, const TSerialCounters& now) {
  uint32_t events = 0;
  if (now.Cts != before.Cts) events |= EV_CTS;
  if (now.Dsr != before.Dsr) events |= EV_DSR;
  if (now.Rng != before.Rng) events |= EV_RING;
  if (now.Dcd != before.Dcd) events |= EV_RLSD;
  if (now.Brk != before.Brk) events |= EV_BREAK;
  if (CounterErrorBits(before, now) != 0) events |= EV_ERR;
  return events;
}

uint32_t ModemLineEvents(uint32_t before, uint32_t now) {
  const uint32_t changed = before ^ now;
  uint32_t events = 0;
  if (changed & kModemCts) events |= EV_CTS;
  if (changed & kModemDsr) events |= EV_DSR;
  if (changed & kModemRing) events |= EV_RING;
  if (changed & kModemDcd) events |= EV_RLSD;
  return events;
}

bool IsUnsupported(int err) { return err == ENOTTY || err == EINVAL || err == kNoIoctlCmd || err == EIO; }

void TSerialLineErrors::Reset(TSerialDevice& device) {
  FPending = 0;
  FBase = {};
  FCounters = device.GetCounters(FBase) == 0;
}

int TSerialLineErrors::Take(TSerialDevice& device, uint32_t& errors) {
  errors = 0;
  TSerialCounters now;
  const int rc = device.GetCounters(now);
  if (rc == 0) {
    if (FCounters) errors |= CounterErrorBits(FBase, now);
    FBase = now;
    FCounters = true;
  } else if (!IsUnsupported(rc)) {
    return rc;
  }
  errors |= FPending.exchange(0);
  return 0;
}

}  // namespace kestova
