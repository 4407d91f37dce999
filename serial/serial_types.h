#pragma once
// Enumerations, sets and bit values shared by the serial port component and its helpers.
#include <cstdint>
#include <initializer_list>

namespace kestova {

enum TSerialBaudrate : uint8_t {
  brUser,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TSerialParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TSerialDatabits : uint8_t { db4, db5, db6, db7, db8 };
enum TSerialStopbits : uint8_t { sb1, sb15, sb2 };
enum TSerialControlDtr : uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum TSerialControlRts : uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum TSerialCommEvent : uint8_t {
  ceBreak,
  ceCts,
  ceDsr,
  ceError,
  ceRing,
  ceRlsd,
  ceRxChar,
  ceTxEmpty,
  ceRxFlag,
  cePErr,
  ceRx80Full,
  ceEvent1,
  ceEvent2
};
enum TSerialCommOption : uint8_t { coErrorChar, coNullStrip, coParityCheck };
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A small set over an enumeration with fewer than 16 values (the sets of the component).
template <typename E>
class TSerialSet {
 public:
  constexpr TSerialSet() = default;
  constexpr TSerialSet(std::initializer_list<E> values) {
    for (E v : values) FBits = static_cast<uint16_t>(FBits | Bit(v));
  }
  constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
  constexpr TSerialSet& Include(E v) {
    FBits = static_cast<uint16_t>(FBits | Bit(v));
    return *this;
  }
  constexpr TSerialSet& Exclude(E v) {
    FBits = static_cast<uint16_t>(FBits & ~Bit(v));
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint16_t Bits() const { return FBits; }
  constexpr bool operator==(const TSerialSet&) const = default;

 private:
  static constexpr uint16_t Bit(E v) { return static_cast<uint16_t>(1u << static_cast<unsigned>(v)); }
  uint16_t FBits = 0;
};
using TSerialCommEvents = TSerialSet<TSerialCommEvent>;
using TSerialCommOptions = TSerialSet<TSerialCommOption>;

// Port numbers and queue sizes: 0..2147483647.
using TSerialPortInt = int32_t;
using TSerialIntW = int32_t;

// Line-event bits, with the values the component has always used for them.
inline constexpr uint32_t EV_RXCHAR = 0x1;
inline constexpr uint32_t EV_RXFLAG = 0x2;
inline constexpr uint32_t EV_TXEMPTY = 0x4;
inline constexpr uint32_t EV_CTS = 0x8;
inline constexpr uint32_t EV_DSR = 0x10;
inline constexpr uint32_t EV_RLSD = 0x20;
inline constexpr uint32_t EV_BREAK = 0x40;
inline constexpr uint32_t EV_ERR = 0x80;
inline constexpr uint32_t EV_RING = 0x100;
inline constexpr uint32_t EV_PERR = 0x200;
inline constexpr uint32_t EV_RX80FULL = 0x400;
inline constexpr uint32_t EV_EVENT1 = 0x800;
inline constexpr uint32_t EV_EVENT2 = 0x1000;

// Line-error bits of the error mask given to OnError. Linux has no such mask; these are built
// from the kernel's error counters (and the hang-up of the line), keeping the values that the
// logs of this product have always shown for them.
inline constexpr uint32_t CE_RXOVER = 0x1;    // receive buffer overrun (tty buffer full)
inline constexpr uint32_t CE_OVERRUN = 0x2;   // character lost in the UART
inline constexpr uint32_t CE_RXPARITY = 0x4;  // parity error
inline constexpr uint32_t CE_FRAME = 0x8;     // framing error
inline constexpr uint32_t CE_BREAK = 0x10;    // break received
inline constexpr uint32_t CE_IOE = 0x400;     // the device failed or hung up (unplugged, pty closed)

// Purge flags.
inline constexpr uint32_t PURGE_TXABORT = 0x1;
inline constexpr uint32_t PURGE_RXABORT = 0x2;
inline constexpr uint32_t PURGE_TXCLEAR = 0x4;
inline constexpr uint32_t PURGE_RXCLEAR = 0x8;

}  // namespace kestova
