#pragma once
// The line-parameter record in termios terms (the kernel's termios2, so any speed can be set).
// Pure functions: nothing here touches a device.
//
// What the record asks for and Linux has no counterpart of:
// - 1.5 stop bits: a UART sends 1.5 stop bits when two are selected with 5 data bits, so sb15
//   is accepted only with db5 (as CSTOPB); with 6 to 8 data bits it is refused, and so are two
//   stop bits with 5 data bits (the UART cannot send them).
// - 4 data bits, a speed of 0 (which would mean "hang up"), DSR output flow, DTR handshake and
//   RTS toggle: refused with EINVAL, so the port reports "Error writing dcb" instead of running
//   with a line other than the one asked for.
// - CTS output flow and RTS handshake both map to CRTSCTS, which always works both ways.
// - DSR sensitivity, error-character replacement, null stripping and transmit-continue-on-XOFF
//   are input refinements the tty layer does not offer; they are kept in the record and
//   ignored. With parity checking on, a character received with a parity or framing error
//   reads as 0, and the error counters report it.
// - The XON/XOFF limits and the end-of-file and event characters are kept in the record only:
//   the kernel uses its own thresholds, and raw input has no special characters.
#include <cstdint>

#include "serial/serial_dcb.h"

namespace kestova {

// Field for field the kernel's struct termios2.
struct TSerialTermios {
  uint32_t c_iflag = 0;
  uint32_t c_oflag = 0;
  uint32_t c_cflag = 0;
  uint32_t c_lflag = 0;
  uint8_t c_line = 0;
  uint8_t c_cc[19] = {};
  uint32_t c_ispeed = 0;
  uint32_t c_ospeed = 0;
};

// Applies speed, character size, parity, stop bits, flow control and the XON/XOFF characters
// of `dcb` to `t`, leaving every other field as it was. Returns 0, or EINVAL for a record this
// platform cannot honour (see above); `t` is unchanged then.
int ApplyDcbToTermios(const TSerialDcb& dcb, TSerialTermios& t);

// The record that `t` and the modem lines describe, for reading a device's configuration back:
// the speed (from its code, or the arbitrary rate), size, parity, stop bits, parity checking,
// XON/XOFF with their characters, CTS flow (with RTS as its handshake line) and the end-of-file
// character. DTR and RTS count as enabled when their lines are raised (`lines`, TIOCM_* bits;
// `hasLines` false for a device without them). The limits and the other characters have no
// counterpart and are 0.
TSerialDcb DcbFromTermios(const TSerialTermios& t, uint32_t lines, bool hasLines);

// True when the line runs RTS/CTS flow control: output waits while CTS is low.
bool UsesRtsCtsFlow(const TSerialTermios& t);

// The modem lines the record asks to be raised and dropped (TIOCM_DTR/TIOCM_RTS bits); lines
// under handshake are left to the driver.
struct TSerialModemControl {
  uint32_t Set = 0;
  uint32_t Clear = 0;
};
TSerialModemControl ModemControlFor(const TSerialDcb& dcb);

// Raw, non-blocking input: no echo, no line editing, no signals, no output processing, and
// reads that return at once with what is queued (VMIN 0, VTIME 0); the receiver is enabled and
// the modem-status lines do not hang the line up.
void ApplyRawDiscipline(TSerialTermios& t);

// How long the line takes to send one character with the speed and framing of `t` (start bit,
// data bits, parity, stop bits); 0 when `t` gives no speed.
int64_t CharacterTimeNs(const TSerialTermios& t);

}  // namespace kestova
