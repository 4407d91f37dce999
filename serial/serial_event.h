#pragma once
// A manual-reset event over an eventfd, so a thread can wait for several of them, and for the
// device, in one poll. Set and Reset may be called from any thread.
#include <chrono>
#include <cstdint>
#include <initializer_list>

#include "platform/unique_fd.h"

namespace kestova {

class TSerialEvent {
 public:
  TSerialEvent();  // not signalled
  TSerialEvent(const TSerialEvent&) = delete;
  TSerialEvent& operator=(const TSerialEvent&) = delete;

  void Set() noexcept;
  void Reset() noexcept;
  bool IsSet() const noexcept;
  // Waits until signalled or `timeout_ms` (-1: no limit) has passed; true when signalled.
  bool Wait(int timeout_ms) const noexcept;
  int Fd() const noexcept { return FFd.Get(); }

 private:
  UniqueFd FFd;
};

// Waits until one of `events` is signalled or `timeout_ms` (-1: no limit) has passed; bit i of
// the result is set when events[i] is signalled.
uint32_t WaitForEvents(std::initializer_list<const TSerialEvent*> events, int timeout_ms) noexcept;

// Milliseconds left until `deadline` for poll(), never negative.
int RemainingMs(std::chrono::steady_clock::time_point deadline);

}  // namespace kestova
