#pragma once
// The seam's real side: system calls on one tty file descriptor. Tests derive from it to keep
// the real pty for bytes and script the rest.
#include <atomic>

#include "platform/unique_fd.h"
#include "serial/serial_device.h"
#include "serial/serial_event.h"

namespace kestova {

class TPosixSerialDevice : public TSerialDevice {
 public:
  // Takes an open, locked tty fd. Throws ESerialCommError when no wait set can be made.
  explicit TPosixSerialDevice(UniqueFd fd);
  ~TPosixSerialDevice() override;

  int Handle() const noexcept override { return FFd.load(); }
  int GetAttr(TSerialTermios& t) override;
  int SetAttr(const TSerialTermios& t) override;
  int SetModemLines(uint32_t set, uint32_t clear) override;
  int GetModemLines(uint32_t& lines) override;
  int GetCounters(TSerialCounters& counters) override;
  int SetBreak(bool on) override;
  int SetOutputFlow(bool on) override;
  int GetSerialInfo(TSerialInfo& info) override;
  int Read(void* buf, std::size_t count, std::size_t& got) override;
  int Write(const void* buf, std::size_t count, std::size_t& written) override;
  int InputQueued(int32_t& count) override;
  int OutputQueued(int32_t& count) override;
  int Purge(bool input, bool output) override;
  int WaitLine(std::span<const int> wake_fds, int timeout_ms, TSerialLineWake& wake) override;
  int WaitInput(int timeout_ms, TSerialInputWait& wait) override;
  int WaitWritable(std::span<const int> wake_fds, int timeout_ms, bool& writable, uint32_t& woken_mask) override;
  int Close() override;

 private:
  int Ioctl(unsigned long request, void* arg);

  // Set by Close before the fd goes, so a WaitInput in progress (or about to poll an fd number
  // that is being reused) ends at once. Made first: should it fail, the caller's fd is still
  // its own to close.
  TSerialEvent FClosed;
  std::atomic<int> FFd;
  // Edge-triggered interest in the fd: a wait reports bytes when they arrive, not again while
  // they sit unread, so an application that leaves them queued costs no CPU.
  UniqueFd FEpoll;
  int FWatchError = 0;
};

}  // namespace kestova
