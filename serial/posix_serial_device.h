#pragma once
// The seam's real side: system calls on one tty file descriptor. Tests derive from it to keep
// the real pty for bytes and script the rest.
//
// Closing never pulls the descriptor from under another thread: Close first ends every wait in
// progress (they all poll the closed event too), then waits until no call is inside, and only
// then closes the descriptor; a call that comes later fails with EBADF.
#include <poll.h>

#include <shared_mutex>
#include <vector>

#include "platform/unique_fd.h"
#include "platform/wake_event.h"
#include "serial/serial_device.h"
#include "serial/serial_error.h"

namespace kestova {

class TPosixSerialDevice : public TSerialDevice {
 public:
  // Takes an open, locked tty fd. Throws ESerialCommError when no wait set can be made.
  explicit TPosixSerialDevice(UniqueFd fd);
  ~TPosixSerialDevice() override;

  int Handle() const noexcept override;
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
  int WaitLine(std::span<const int> wakeFds, TDeadline deadline, TSerialLineWake& wake) override;
  int WaitInput(TDeadline deadline, TSerialInputWait& wait) override;
  int WaitWritable(std::span<const int> wakeFds, TDeadline deadline, bool& writable) override;
  int Close() override;

 private:
  int Ioctl(unsigned long request, void* arg);
  // Waits for `fds` and the closed event until `deadline`; 0 or errno. `closed`: Close ended
  // the wait (or came before it).
  int Poll(std::vector<pollfd>& fds, TDeadline deadline, bool& closed) const;

  // Signalled by Close before the descriptor goes: it ends every wait in progress. Made first:
  // should it fail, the caller's fd is still its own to close.
  TWakeEvent FClosed{RaiseEventError};
  // Shared by every call on the descriptor, exclusive for closing it.
  mutable std::shared_mutex FFdLock;
  UniqueFd FFd;
  // Edge-triggered interest in the fd: a wait reports bytes when they arrive, not again while
  // they sit unread, so an application that leaves them queued costs no CPU.
  UniqueFd FEpoll;
  int FWatchError = 0;
};

}  // namespace kestova
