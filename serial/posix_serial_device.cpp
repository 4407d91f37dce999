#include "serial/posix_serial_device.h"

// The kernel's termios2; <termios.h> must not be included in this file.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "serial/kernel_termios.h"
#include "serial/serial_error.h"

namespace kestova {

static_assert(kModemDtr == TIOCM_DTR && kModemRts == TIOCM_RTS && kModemCts == TIOCM_CTS);
static_assert(kModemDcd == TIOCM_CAR && kModemRing == TIOCM_RNG && kModemDsr == TIOCM_DSR);

namespace {

int ErrnoOf(int rc) { return rc < 0 ? errno : 0; }

}  // namespace

int OpenPosixSerialDevice(const std::string& path, std::unique_ptr<TSerialDevice>& device) {
  UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return errno;
  // TIOCEXCL keeps other users out, but not root; the lock keeps out every opener that asks
  // for it the same way, root included.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  ioctl(fd.Get(), TIOCEXCL);  // not a tty: the parameter step reports it
  device = std::make_unique<TPosixSerialDevice>(std::move(fd));
  return 0;
}

TPosixSerialDevice::TPosixSerialDevice(UniqueFd fd) : FFd(std::move(fd)), FEpoll(epoll_create1(EPOLL_CLOEXEC)) {
  if (!FEpoll) {
    const int err = errno;
    throw ESerialCommError(Format("Cannot watch the device (%d), %s", err, SerialSysErrorText(err)));
  }
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLET;
  ev.data.fd = FFd.Get();
  // Not a tty (a regular file cannot be watched): the parameter steps of opening report it.
  if (epoll_ctl(FEpoll.Get(), EPOLL_CTL_ADD, FFd.Get(), &ev) != 0) FWatchError = errno;
}

TPosixSerialDevice::~TPosixSerialDevice() { Close(); }

int TPosixSerialDevice::Handle() const noexcept {
  std::shared_lock lock(FFdLock);
  return FFd.Get();
}

int TPosixSerialDevice::Ioctl(unsigned long request, void* arg) {
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  return ErrnoOf(ioctl(FFd.Get(), request, arg));
}

int TPosixSerialDevice::Poll(std::vector<pollfd>& fds, TDeadline deadline, bool& closed) const {
  fds.push_back({FClosed.Fd(), POLLIN, 0});
  const int rc = PollUntil(fds, deadline) < 0 ? errno : 0;
  closed = fds.back().revents != 0;
  fds.pop_back();
  return rc;
}
int TPosixSerialDevice::GetAttr(TSerialTermios& t) {
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  return GetKernelTermios(FFd.Get(), t);
}

int TPosixSerialDevice::SetAttr(const TSerialTermios& t) {
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  return SetKernelTermios(FFd.Get(), t);
}

int TPosixSerialDevice::SetModemLines(uint32_t set, uint32_t clear) {
  int bits = static_cast<int>(set);
  if (set != 0)
    if (const int rc = Ioctl(TIOCMBIS, &bits)) return rc;
  bits = static_cast<int>(clear);
  if (clear != 0) return Ioctl(TIOCMBIC, &bits);
  return 0;
}

int TPosixSerialDevice::GetModemLines(uint32_t& lines) {
  int bits = 0;
  const int rc = Ioctl(TIOCMGET, &bits);
  if (rc == 0) lines = static_cast<uint32_t>(bits);
  return rc;
}

int TPosixSerialDevice::GetCounters(TSerialCounters& c) {
  serial_icounter_struct k{};
  const int rc = Ioctl(TIOCGICOUNT, &k);
  if (rc != 0) return rc;
  c.Cts = static_cast<uint32_t>(k.cts);
  c.Dsr = static_cast<uint32_t>(k.dsr);
  c.Rng = static_cast<uint32_t>(k.rng);
  c.Dcd = static_cast<uint32_t>(k.dcd);
  c.Frame = static_cast<uint32_t>(k.frame);
  c.Overrun = static_cast<uint32_t>(k.overrun);
  c.Parity = static_cast<uint32_t>(k.parity);
  c.Brk = static_cast<uint32_t>(k.brk);
  c.BufOverrun = static_cast<uint32_t>(k.buf_overrun);
  return 0;
}

int TPosixSerialDevice::SetBreak(bool on) { return Ioctl(on ? TIOCSBRK : TIOCCBRK, nullptr); }

int TPosixSerialDevice::SetOutputFlow(bool on) {
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  return ErrnoOf(ioctl(FFd.Get(), TCXONC, on ? TCOON : TCOOFF));
}

int TPosixSerialDevice::GetSerialInfo(TSerialInfo& info) {
  serial_struct k{};
  const int rc = Ioctl(TIOCGSERIAL, &k);
  if (rc != 0) return rc;
  info.Type = k.type;
  info.BaudBase = k.baud_base;
  info.XmitFifoSize = k.xmit_fifo_size;
  return 0;
}

int TPosixSerialDevice::Read(void* buf, std::size_t count, std::size_t& got) {
  got = 0;
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  for (;;) {
    const ssize_t n = ::read(FFd.Get(), buf, count);
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN ? 0 : errno;
  }
}

int TPosixSerialDevice::Write(const void* buf, std::size_t count, std::size_t& written) {
  written = 0;
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  for (;;) {
    const ssize_t n = ::write(FFd.Get(), buf, count);
    if (n >= 0) {
      written = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int TPosixSerialDevice::InputQueued(int32_t& count) {
  int n = 0;
  const int rc = Ioctl(FIONREAD, &n);
  count = rc == 0 ? n : 0;
  return rc;
}

int TPosixSerialDevice::OutputQueued(int32_t& count) {
  int n = 0;
  const int rc = Ioctl(TIOCOUTQ, &n);
  count = rc == 0 ? n : 0;
  return rc;
}

int TPosixSerialDevice::Purge(bool input, bool output) {
  if (!input && !output) return 0;
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
  return ErrnoOf(ioctl(FFd.Get(), TCFLSH, queue));
}

int TPosixSerialDevice::WaitLine(std::span<const int> wakeFds, TDeadline deadline, TSerialLineWake& wake) {
  wake = {};
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  if (FWatchError != 0) return FWatchError;
  std::vector<pollfd> fds;
  fds.reserve(wakeFds.size() + 2);
  for (const int fd : wakeFds) fds.push_back({fd, POLLIN, 0});
  fds.push_back({FEpoll.Get(), POLLIN, 0});
  bool closed = false;
  if (const int rc = Poll(fds, deadline, closed)) return rc;
  if (closed) return 0;  // nothing to tell: the next call finds the device closed
  if (fds.back().revents & POLLIN) {
    epoll_event ev{};
    const int n = epoll_wait(FEpoll.Get(), &ev, 1, 0);
    if (n > 0) {
      wake.HangUp = (ev.events & (EPOLLHUP | EPOLLERR)) != 0;
      wake.Readable = !wake.HangUp && (ev.events & EPOLLIN) != 0;
    }
  }
  return 0;
}

int TPosixSerialDevice::WaitInput(TDeadline deadline, TSerialInputWait& wait) {
  wait = {};
  std::shared_lock lock(FFdLock);
  if (!FFd) {
    wait.HangUp = true;
    return 0;
  }
  std::vector<pollfd> fds = {{FFd.Get(), POLLIN, 0}};
  bool closed = false;
  if (const int rc = Poll(fds, deadline, closed)) return rc;
  wait.HangUp = closed || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  wait.Readable = !wait.HangUp && (fds[0].revents & POLLIN) != 0;
  return 0;
}

int TPosixSerialDevice::WaitWritable(std::span<const int> wakeFds, TDeadline deadline, bool& writable) {
  writable = false;
  std::shared_lock lock(FFdLock);
  if (!FFd) return EBADF;
  std::vector<pollfd> fds;
  fds.reserve(wakeFds.size() + 2);
  for (const int fd : wakeFds) fds.push_back({fd, POLLIN, 0});
  fds.push_back({FFd.Get(), POLLOUT, 0});
  bool closed = false;
  if (const int rc = Poll(fds, deadline, closed)) return rc;
  // A hung-up line is "writable": the write that follows reports the failure. After Close
  // nothing is: the next call finds the device closed.
  writable = !closed && fds.back().revents != 0;
  return 0;
}

int TPosixSerialDevice::Close() {
  // Ends the waits in progress, so the calls holding the descriptor leave and let it go.
  FClosed.Signal();
  std::unique_lock lock(FFdLock);
  if (!FFd) return 0;
  ioctl(FFd.Get(), TIOCNXCL);  // the flag outlives our fd while others hold the tty open
  return FFd.Close();
}

}  // namespace kestova
