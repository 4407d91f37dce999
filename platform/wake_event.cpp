#include "platform/wake_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/exception.h"

namespace kestova {
namespace {

[[noreturn]] void RaiseEventfdError(int error) {
  throw Exception(Format("Could not create an eventfd: %s", std::strerror(error)));
}

}  // namespace

TWakeEvent::TWakeEvent() : TWakeEvent(RaiseEventfdError) {}

TWakeEvent::TWakeEvent(TRaiseError raise) : FFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!FFd) raise(errno);
}

void TWakeEvent::Signal() noexcept {
  const std::uint64_t one = 1;
  // Only fails with EAGAIN when the counter is about to overflow: it is signalled then anyway.
  [[maybe_unused]] const auto rc = ::write(FFd.Get(), &one, sizeof one);
}

bool TWakeEvent::Consume() noexcept {
  std::uint64_t count = 0;
  return ::read(FFd.Get(), &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

bool TWakeEvent::IsSignalled() const noexcept { return Wait(TDeadline::Immediate()); }

bool TWakeEvent::Wait(TDeadline deadline) const noexcept {
  pollfd fd{FFd.Get(), POLLIN, 0};
  return PollUntil({&fd, 1}, deadline) > 0;
}

void WaitForAny(std::initializer_list<const TWakeEvent*> events, TDeadline deadline) noexcept {
  pollfd fds[8];
  std::size_t count = 0;
  for (const TWakeEvent* event : events) {
    if (count == 8) break;
    fds[count++] = pollfd{event->Fd(), POLLIN, 0};
  }
  PollUntil({fds, count}, deadline);
}

int PollUntil(std::span<pollfd> fds, TDeadline deadline) noexcept {
  for (;;) {
    const int rc = ::poll(fds.data(), fds.size(), deadline.PollTimeout());
    if (rc >= 0 || errno != EINTR) return rc;
  }
}

}  // namespace kestova
