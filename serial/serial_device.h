#pragma once
// The seam between the port and the operating system: one open serial device. The port and its
// threads call nothing else of the system's serial interface, so tests can script what a pseudo
// terminal cannot show (modem lines, line errors, their counters, failing writes).
//
// Every operation returns 0 or an errno value. Thread safety: the event thread waits on the
// line while the write thread writes and the owner thread sets parameters and reads the
// status; implementations must allow that (the POSIX one is plain system calls on one fd).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/deadline.h"
#include "serial/serial_termios.h"

namespace kestova {

// The kernel's interrupt counters of a serial line (struct serial_icounter_struct).
struct TSerialCounters {
  uint32_t Cts = 0, Dsr = 0, Rng = 0, Dcd = 0;
  uint32_t Frame = 0, Overrun = 0, Parity = 0, Brk = 0, BufOverrun = 0;
  bool operator==(const TSerialCounters&) const = default;
};

// Modem-line bits, the values of TIOCM_*.
inline constexpr uint32_t kModemDtr = 0x002;
inline constexpr uint32_t kModemRts = 0x004;
inline constexpr uint32_t kModemCts = 0x020;
inline constexpr uint32_t kModemDcd = 0x040;
inline constexpr uint32_t kModemRing = 0x080;
inline constexpr uint32_t kModemDsr = 0x100;

// What the driver tells of the port behind a tty (struct serial_struct), where it has one.
struct TSerialInfo {
  int32_t Type = 0;  // PORT_* of the serial core: 0 for a port that is not there
  int32_t BaudBase = 0;
  int32_t XmitFifoSize = 0;
};

// What ended a wait for input.
struct TSerialInputWait {
  bool Readable = false;  // bytes are waiting
  bool HangUp = false;    // no byte will come: the other side is gone, or the device was closed
};

// What ended a wait on the line. A wait that one of the caller's wake descriptors ended sets
// nothing here: the caller asks its own events which it was.
struct TSerialLineWake {
  bool Readable = false;  // new bytes arrived (reported once per arrival, not while they wait)
  bool HangUp = false;    // the other side is gone (unplugged, pty master closed)
  bool Changed = false;   // the device has news on its modem lines or counters (scripted)
};

class TSerialDevice {
 public:
  virtual ~TSerialDevice() = default;

  virtual int Handle() const noexcept = 0;

  virtual int GetAttr(TSerialTermios& t) = 0;
  virtual int SetAttr(const TSerialTermios& t) = 0;
  virtual int SetModemLines(uint32_t set, uint32_t clear) = 0;
  virtual int GetModemLines(uint32_t& lines) = 0;
  virtual int GetCounters(TSerialCounters& counters) = 0;
  virtual int SetBreak(bool on) = 0;
  // Suspends (false) or resumes (true) our output as if XOFF or XON had come from the other side.
  virtual int SetOutputFlow(bool on) = 0;
  virtual int GetSerialInfo(TSerialInfo& info) = 0;

  // Non-blocking transfers: nothing to read gives 0 bytes and 0; a full driver gives EAGAIN.
  virtual int Read(void* buf, std::size_t count, std::size_t& got) = 0;
  virtual int Write(const void* buf, std::size_t count, std::size_t& written) = 0;

  virtual int InputQueued(int32_t& count) = 0;
  virtual int OutputQueued(int32_t& count) = 0;
  virtual int Purge(bool input, bool output) = 0;

  // Waits for news on the line or for one of `wakeFds` until `deadline`. A time-out returns 0
  // with nothing set in `wake`.
  virtual int WaitLine(std::span<const int> wakeFds, TDeadline deadline, TSerialLineWake& wake) = 0;
  // Waits until bytes are waiting to be read or `deadline` passes. Unlike WaitLine it may be
  // called from any thread at any time, also while the device is being closed: Close ends the
  // wait with HangUp.
  virtual int WaitInput(TDeadline deadline, TSerialInputWait& wait) = 0;
  // Waits until the device takes more bytes (`writable`), one of `wakeFds` is readable, or
  // `deadline` passes.
  virtual int WaitWritable(std::span<const int> wakeFds, TDeadline deadline, bool& writable) = 0;

  // Gives the device up: a wait in progress on another thread ends (WaitInput with HangUp, the
  // others with nothing set), later calls fail with EBADF.
  virtual int Close() = 0;
};

// Opens `path` for the port; returns 0 and the device, or an errno value.
using TSerialDeviceOpener = std::function<int(const std::string& path, std::unique_ptr<TSerialDevice>& device)>;

// The system's opener: exclusive (TIOCEXCL, and flock so that not even root opens it twice:
// a second opener gets EBUSY), non-blocking, never the controlling terminal.
int OpenPosixSerialDevice(const std::string& path, std::unique_ptr<TSerialDevice>& device);

}  // namespace kestova
