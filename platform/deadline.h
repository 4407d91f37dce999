#pragma once
// A point on the steady clock by which a blocking step must end, turned into the timeout
// argument of poll(2) with the time that is left. Recompute after every wake (EINTR, partial
// reads): the remaining time shrinks, the deadline does not move.
#include <chrono>
#include <climits>

namespace kestova {

class TDeadline {
 public:
  using Clock = std::chrono::steady_clock;

  // No limit: a wait ends only when its event comes.
  static TDeadline Never() noexcept { return TDeadline(Clock::time_point::max()); }
  // Already due: one try without waiting.
  static TDeadline Immediate() noexcept { return TDeadline(Clock::time_point::min()); }
  static TDeadline After(std::chrono::milliseconds delay) noexcept {
    if (delay.count() <= 0) return Immediate();
    return TDeadline(Clock::now() + delay);
  }
  static TDeadline At(Clock::time_point when) noexcept { return TDeadline(when); }

  bool IsNever() const noexcept { return FWhen == Clock::time_point::max(); }
  bool Expired() const noexcept { return !IsNever() && Clock::now() >= FWhen; }
  Clock::time_point When() const noexcept { return FWhen; }

  // The timeout for poll(2): -1 without limit, 0 when due, else the remaining milliseconds
  // rounded up, so a wait never ends before its deadline.
  int PollTimeout() const noexcept {
    if (IsNever()) return -1;
    if (FWhen == Clock::time_point::min()) return 0;
    const auto left = FWhen - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
  }

  // The earlier of two deadlines.
  static TDeadline Earlier(TDeadline a, TDeadline b) noexcept { return a.FWhen <= b.FWhen ? a : b; }

 private:
  explicit TDeadline(Clock::time_point when) noexcept : FWhen(when) {}
  Clock::time_point FWhen;
};

}  // namespace kestova
