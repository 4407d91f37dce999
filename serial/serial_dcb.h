#pragma once
// The line-parameter record and its translation from the port's properties. The record keeps
// the layout and values the component has always used for its line parameters, so the same
// properties give the same record on every platform; serial_termios.h turns it into termios.
#include <array>
#include <cstdint>

#include "serial/serial_types.h"

namespace kestova {

struct TSerialDcb {
  uint32_t BaudRate = 0;
  uint32_t Flags = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 8;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  uint8_t XonChar = 0;
  uint8_t XoffChar = 0;
  uint8_t ErrorChar = 0;
  uint8_t EofChar = 0;
  uint8_t EvtChar = 0;
  bool operator==(const TSerialDcb&) const = default;
};

// Bits of TSerialDcb::Flags.
inline constexpr uint32_t DCB_fBinary = 0x1;
inline constexpr uint32_t DCB_fParity = 0x2;
inline constexpr uint32_t DCB_fOutxCtsFlow = 0x4;
inline constexpr uint32_t DCB_fOutxDsrFlow = 0x8;
inline constexpr uint32_t DCB_fDtrControlMask = 0x30;
inline constexpr uint32_t DCB_fDsrSensitivity = 0x40;
inline constexpr uint32_t DCB_fTXContinueOnXoff = 0x80;
inline constexpr uint32_t DCB_fOutX = 0x100;
inline constexpr uint32_t DCB_fInX = 0x200;
inline constexpr uint32_t DCB_fErrorChar = 0x400;
inline constexpr uint32_t DCB_fNull = 0x800;
inline constexpr uint32_t DCB_fRtsControlMask = 0x3000;

// The component's tables, indexed by the ordinal of the property value.
inline constexpr std::array<uint32_t, 16> DCB_BaudRates = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                                           14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
inline constexpr std::array<uint32_t, 13> EventList = {EV_BREAK,    EV_CTS,    EV_DSR,     EV_ERR,    EV_RING,
                                                       EV_RLSD,     EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_PERR,
                                                       EV_RX80FULL, EV_EVENT1, EV_EVENT2};
inline constexpr std::array<uint8_t, 5> DCB_DataBits = {4, 5, 6, 7, 8};
inline constexpr std::array<uint8_t, 5> DCB_Parity = {0, 1, 2, 3, 4};
inline constexpr std::array<uint8_t, 3> DCB_StopBits = {0, 1, 2};
inline constexpr std::array<uint32_t, 3> DCB_Options = {DCB_fErrorChar, DCB_fNull, DCB_fParity};
inline constexpr std::array<uint32_t, 2> DCB_XONXOFFOUT = {0, DCB_fOutX};
inline constexpr std::array<uint32_t, 2> DCB_XONXOFFIN = {0, DCB_fInX};
inline constexpr std::array<uint32_t, 2> DCB_OUTCTSFLOW = {0, DCB_fOutxCtsFlow};
inline constexpr std::array<uint32_t, 2> DCB_OUTDSRFLOW = {0, DCB_fOutxDsrFlow};
inline constexpr std::array<uint32_t, 3> DCB_CONTROLDTR = {0x0, 0x10, 0x20};
inline constexpr std::array<uint32_t, 4> DCB_CONTROLRTS = {0x0, 0x1000, 0x2000, 0x3000};

// The properties that make up the line parameters, as plain values.
struct TSerialLineSettings {
  TSerialBaudrate Baudrate = br1200;
  int32_t UserBaudrate = 0;
  TSerialParity Parity = paNone;
  TSerialDatabits Databits = db8;
  TSerialStopbits Stopbits = sb1;
  TSerialCommOptions Options;
  bool OutCtsFlow = false;
  bool OutDsrFlow = false;
  TSerialControlDtr ControlDtr = dtrDisabled;
  TSerialControlRts ControlRts = rtsDisabled;
  bool XonXoffOut = false;
  bool XonXoffIn = false;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = false;
  uint8_t XonChar = 17;
  uint8_t XoffChar = 19;
  uint8_t ErrorChar = 0;
  uint8_t EventChar = 0;
  uint8_t EofChar = 0;
  int32_t XonLimit = 1024;
  int32_t XoffLimit = 1024;
};

// The bits per second of a speed value (brUser: the user's rate).
uint32_t BaudrateValue(TSerialBaudrate baudrate, int32_t userBaudrate);

// Fills the record from the properties; the flags word is rebuilt from zero.
TSerialDcb BuildDcb(const TSerialLineSettings& settings);

// The event mask for the monitored events; without direct writing the write thread reports an
// empty transmit queue itself, so EV_TXEMPTY is left out.
uint32_t EventMaskFor(TSerialCommEvents events, bool directWrite);

}  // namespace kestova
