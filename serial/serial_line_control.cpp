#include "serial/serial_line_control.h"

#include <cerrno>

namespace kestova {

uint32_t ModemStatusFromLines(uint32_t lines) {
  uint32_t status = 0;
  if (lines & kModemCts) status |= MS_CTS_ON;
  if (lines & kModemDsr) status |= MS_DSR_ON;
  if (lines & kModemRing) status |= MS_RING_ON;
  if (lines & kModemDcd) status |= MS_RLSD_ON;
  return status;
}

int EscapeCommFunction(TSerialDevice& device, uint32_t code) {
  switch (code) {
    case SETXOFF: return device.SetOutputFlow(false);
    case SETXON: return device.SetOutputFlow(true);
    case SETRTS: return device.SetModemLines(kModemRts, 0);
    case CLRRTS: return device.SetModemLines(0, kModemRts);
    case SETDTR: return device.SetModemLines(kModemDtr, 0);
    case CLRDTR: return device.SetModemLines(0, kModemDtr);
    case RESETDEV: return 0;
    case SETBREAK: return device.SetBreak(true);
    case CLRBREAK: return device.SetBreak(false);
    default: return EINVAL;
  }
}

}  // namespace kestova
