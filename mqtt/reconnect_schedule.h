#pragma once
// The waits between automatic reconnect attempts: about 1, 2, 4 and 8 s after the first,
// second, third and fourth failed attempt in a row, then the reconnect interval; no wait is
// longer than the interval. Each wait carries up to +-20 % of random jitter, so that a shop
// full of displays does not reconnect in lock-step after a broker restart.
//
// Thread safety: one thread at a time (the keep-alive thread, under its lock).
#include <chrono>
#include <cstdint>
#include <random>

namespace kestova {

class TMqttReconnectSchedule {
 public:
  static constexpr double kJitter = 0.2;

  // The generator starts from ASeed (tests), or from the system's random device.
  TMqttReconnectSchedule();
  explicit TMqttReconnectSchedule(uint32_t ASeed);

  // The wait before attempt AAttempt + 1, after AAttempt (1 or more) attempts failed in a row,
  // without jitter.
  static std::chrono::milliseconds NominalDelay(int AAttempt, uint32_t AIntervalSeconds) noexcept;
  // The same with its jitter.
  std::chrono::milliseconds Delay(int AAttempt, uint32_t AIntervalSeconds);

 private:
  std::mt19937 FRandom;
};

}  // namespace kestova
