#include "serial/serial_event.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>

#include "serial/serial_error.h"

namespace kestova {

TSerialEvent::TSerialEvent() : FFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!FFd) throw ESerialCommError(Format("Cannot create an event (%d), %s", errno, SerialSysErrorText(errno)));
}

void TSerialEvent::Set() noexcept {
  const uint64_t one = 1;
  // A counter that cannot take more is signalled already.
  [[maybe_unused]] const ssize_t n = write(FFd.Get(), &one, sizeof one);
}

void TSerialEvent::Reset() noexcept {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = read(FFd.Get(), &value, sizeof value);
}

bool TSerialEvent::IsSet() const noexcept { return Wait(0); }

bool TSerialEvent::Wait(int timeout_ms) const noexcept {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    pollfd p{FFd.Get(), POLLIN, 0};
    const int rc = poll(&p, 1, timeout_ms < 0 ? -1 : RemainingMs(deadline));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

uint32_t WaitForEvents(std::initializer_list<const TSerialEvent*> events, int timeout_ms) noexcept {
  pollfd fds[8];
  nfds_t n = 0;
  for (const TSerialEvent* e : events) {
    if (n == 8) break;
    fds[n++] = pollfd{e->Fd(), POLLIN, 0};
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    const int rc = poll(fds, n, timeout_ms < 0 ? -1 : RemainingMs(deadline));
    if (rc >= 0) break;
    if (errno != EINTR) return 0;
  }
  uint32_t mask = 0;
  for (nfds_t i = 0; i < n; ++i)
    if (fds[i].revents != 0) mask |= 1u << i;
  return mask;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace kestova
