#pragma once
// Direct control of the line (the escape codes) and the modem status word, with the values the
// component has always used for them, carried out through the device seam.
//
// Linux in place of the escape functions:
// - SETDTR/CLRDTR, SETRTS/CLRRTS: the modem lines (TIOCMBIS/TIOCMBIC). A pseudo terminal has
//   none and answers ENOTTY ("Inappropriate ioctl for device").
// - SETBREAK/CLRBREAK: TIOCSBRK/TIOCCBRK. A driver without break control (a pseudo terminal)
//   accepts both and does nothing.
// - SETXOFF/SETXON: our output stops or resumes as if the other side had sent XOFF or XON
//   (tcflow TCOOFF/TCOON); nothing is sent.
// - RESETDEV: serial ports have nothing to reset (the request is meant for printers, and the
//   serial drivers that take it do nothing), so it succeeds and changes nothing.
#include <array>
#include <cstdint>

#include "serial/serial_device.h"

namespace kestova {

inline constexpr uint32_t SETXOFF = 1;
inline constexpr uint32_t SETXON = 2;
inline constexpr uint32_t SETRTS = 3;
inline constexpr uint32_t CLRRTS = 4;
inline constexpr uint32_t SETDTR = 5;
inline constexpr uint32_t CLRDTR = 6;
inline constexpr uint32_t RESETDEV = 7;
inline constexpr uint32_t SETBREAK = 8;
inline constexpr uint32_t CLRBREAK = 9;

// Indexed by the Boolean argument of SetDTR, SetRTS, SetBreak and SetXon.
inline constexpr std::array<uint32_t, 2> ESC_DTR = {CLRDTR, SETDTR};
inline constexpr std::array<uint32_t, 2> ESC_RTS = {CLRRTS, SETRTS};
inline constexpr std::array<uint32_t, 2> ESC_BREAK = {CLRBREAK, SETBREAK};
inline constexpr std::array<uint32_t, 2> ESC_XOFFXON = {SETXOFF, SETXON};

// The modem status word: CTS, DSR, RING, RLSD (carrier detect).
inline constexpr uint32_t MS_CTS_ON = 0x10;
inline constexpr uint32_t MS_DSR_ON = 0x20;
inline constexpr uint32_t MS_RING_ON = 0x40;
inline constexpr uint32_t MS_RLSD_ON = 0x80;
// The bit of each status property, indexed by its index minus 1 (CTS 1 ... RLSD 4).
inline constexpr std::array<uint32_t, 4> Mask = {MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON};

// Bits of the transmit-status flags of the port status, indexed by the hold property's index
// minus 1 (CTSHold 1 ... XOffSent 5).
inline constexpr uint32_t fCtsHold = 0x1;
inline constexpr uint32_t fDsrHold = 0x2;
inline constexpr uint32_t fRlsdHold = 0x4;
inline constexpr uint32_t fXoffHold = 0x8;
inline constexpr uint32_t fXoffSent = 0x10;

// The status word for the kernel's modem lines (TIOCM_* bits, serial_device.h).
uint32_t ModemStatusFromLines(uint32_t lines);

// Carries out one escape code on the device; 0 or an errno value (EINVAL for an unknown code).
int EscapeCommFunction(TSerialDevice& device, uint32_t code);

}  // namespace kestova
