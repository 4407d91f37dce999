#pragma once
// An eventfd that one thread signals and another polls alongside its other descriptors, so a
// thread blocked in poll(2) can be released at once without a timer.
//
// Thread safety: Signal may be called from any thread at any time while the object lives;
// Consume and Fd from the waiting thread.
#include "platform/unique_fd.h"

namespace kestova {

class TWakeEvent {
 public:
  // Raises Exception when the kernel refuses the eventfd.
  TWakeEvent();
  TWakeEvent(const TWakeEvent&) = delete;
  TWakeEvent& operator=(const TWakeEvent&) = delete;

  // Make the descriptor readable until the next Consume.
  void Signal() noexcept;
  // Reset it; true when it had been signalled.
  bool Consume() noexcept;
  // Readable (POLLIN) while signalled.
  int Fd() const noexcept { return FFd.Get(); }

 private:
  UniqueFd FFd;
};

}  // namespace kestova
