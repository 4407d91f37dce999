#include "platform/wake_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/exception.h"

namespace kestova {

TWakeEvent::TWakeEvent() : FFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!FFd) throw Exception(Format("Could not create an eventfd: %s", std::strerror(errno)));
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

}  // namespace kestova
