#pragma once
// An eventfd that one thread signals and another polls alongside its other descriptors, so a
// thread blocked in poll(2) can be released at once without a timer. It stays signalled until
// Consume: a signal that comes while nobody waits is seen by the next wait, and a state that
// must stay visible to every wait (a stop request) is simply never consumed.
//
// Thread safety: Signal, IsSignalled and Wait may be called from any thread at any time while
// the object lives; Consume from the thread that owns the state it stands for.
#include <poll.h>

#include <initializer_list>
#include <span>

#include "platform/deadline.h"
#include "platform/unique_fd.h"

namespace kestova {

class TWakeEvent {
 public:
  // Raises what a component raises for a failed system call; called with errno, must throw.
  using TRaiseError = void (*)(int error);

  // Not signalled. Raises Exception when the kernel refuses the eventfd, or what `raise` throws.
  TWakeEvent();
  explicit TWakeEvent(TRaiseError raise);
  TWakeEvent(const TWakeEvent&) = delete;
  TWakeEvent& operator=(const TWakeEvent&) = delete;

  // Make the descriptor readable until the next Consume.
  void Signal() noexcept;
  // Reset it; true when it had been signalled.
  bool Consume() noexcept;
  // Signalled now; consumes nothing.
  bool IsSignalled() const noexcept;
  // Waits until signalled or `deadline` passes; true when signalled. Consumes nothing.
  bool Wait(TDeadline deadline) const noexcept;
  // Readable (POLLIN) while signalled.
  int Fd() const noexcept { return FFd.Get(); }

 private:
  UniqueFd FFd;
};

// Waits until one of `events` is signalled or `deadline` passes, consuming none; ask each event
// (IsSignalled) which it was. At most eight events.
void WaitForAny(std::initializer_list<const TWakeEvent*> events, TDeadline deadline) noexcept;

// poll(2) until one of `fds` is ready or `deadline` passes, restarting after a signal with the
// time that is left: the number of ready descriptors (0 at the deadline), or -1 with errno set.
int PollUntil(std::span<pollfd> fds, TDeadline deadline) noexcept;

}  // namespace kestova
