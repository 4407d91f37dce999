#pragma once
// The driver's capability record (Properties): the 64-byte layout and values the component has
// always used, filled from what Linux can tell of a tty.
//
// Linux keeps no such record, so it is built from what holds for every tty and from what the
// driver answers:
// - every tty: speeds of the table and any other rate (BAUD_USER, the maximum), 5 to 8 data
//   bits, 1, 1.5 (with 5 data bits) and 2 stop bits, all five parities, parity checking,
//   XON/XOFF with settable characters;
// - a driver with modem lines (TIOCMGET answers): RTS/CTS flow and carrier detect;
// - a driver with serial information (TIOCGSERIAL answers, as UARTs and most USB adapters do):
//   subtype RS-232, only the table's speeds up to the port's base rate, and the port's type and
//   base rate in ProvSpec1 and ProvSpec2;
// - the queue sizes are 0 ("not known"): the tty layer sizes its queues itself.
#include <cstdint>

#include "serial/serial_device.h"

namespace kestova {

struct TSerialCommProp {
  uint16_t wPacketLength = 0;
  uint16_t wPacketVersion = 0;
  uint32_t dwServiceMask = 0;
  uint32_t dwReserved1 = 0;
  uint32_t dwMaxTxQueue = 0;
  uint32_t dwMaxRxQueue = 0;
  uint32_t dwMaxBaud = 0;
  uint32_t dwProvSubType = 0;
  uint32_t dwProvCapabilities = 0;
  uint32_t dwSettableParams = 0;
  uint32_t dwSettableBaud = 0;
  uint16_t wSettableData = 0;
  uint16_t wSettableStopParity = 0;
  uint32_t dwCurrentTxQueue = 0;
  uint32_t dwCurrentRxQueue = 0;
  uint32_t dwProvSpec1 = 0;
  uint32_t dwProvSpec2 = 0;
  uint16_t wcProvChar[1] = {};
  bool operator==(const TSerialCommProp&) const = default;
};
static_assert(sizeof(TSerialCommProp) == 64);

inline constexpr uint32_t SP_SERIALCOMM = 0x1;
inline constexpr uint32_t PST_UNSPECIFIED = 0x0;
inline constexpr uint32_t PST_RS232 = 0x1;

inline constexpr uint32_t PCF_DTRDSR = 0x1;
inline constexpr uint32_t PCF_RTSCTS = 0x2;
inline constexpr uint32_t PCF_RLSD = 0x4;
inline constexpr uint32_t PCF_PARITY_CHECK = 0x8;
inline constexpr uint32_t PCF_XONXOFF = 0x10;
inline constexpr uint32_t PCF_SETXCHAR = 0x20;

inline constexpr uint32_t SP_PARITY = 0x1;
inline constexpr uint32_t SP_BAUD = 0x2;
inline constexpr uint32_t SP_DATABITS = 0x4;
inline constexpr uint32_t SP_STOPBITS = 0x8;
inline constexpr uint32_t SP_HANDSHAKING = 0x10;
inline constexpr uint32_t SP_PARITY_CHECK = 0x20;
inline constexpr uint32_t SP_RLSD = 0x40;

inline constexpr uint32_t BAUD_USER = 0x10000000;

inline constexpr uint16_t DATABITS_5 = 0x1;
inline constexpr uint16_t DATABITS_6 = 0x2;
inline constexpr uint16_t DATABITS_7 = 0x4;
inline constexpr uint16_t DATABITS_8 = 0x8;

inline constexpr uint16_t STOPBITS_10 = 0x1;
inline constexpr uint16_t STOPBITS_15 = 0x2;
inline constexpr uint16_t STOPBITS_20 = 0x4;
inline constexpr uint16_t PARITY_NONE = 0x100;
inline constexpr uint16_t PARITY_ODD = 0x200;
inline constexpr uint16_t PARITY_EVEN = 0x400;
inline constexpr uint16_t PARITY_MARK = 0x800;
inline constexpr uint16_t PARITY_SPACE = 0x1000;

// The record for a tty; `info` is null when the driver gives no serial information.
TSerialCommProp BuildCommProp(const TSerialInfo* info, bool hasModemLines);

}  // namespace kestova
