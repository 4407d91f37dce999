#include "mqtt/reconnect_schedule.h"

#include <algorithm>

namespace kestova {

TMqttReconnectSchedule::TMqttReconnectSchedule() : FRandom(std::random_device{}()) {}

TMqttReconnectSchedule::TMqttReconnectSchedule(uint32_t ASeed) : FRandom(ASeed) {}

std::chrono::milliseconds TMqttReconnectSchedule::NominalDelay(int AAttempt, uint32_t AIntervalSeconds) noexcept {
  const std::chrono::milliseconds interval = std::chrono::seconds(AIntervalSeconds);
  if (AAttempt < 1) return std::chrono::milliseconds(0);
  if (AAttempt > 4) return interval;
  return std::min(std::chrono::milliseconds(1000 << (AAttempt - 1)), interval);
}

std::chrono::milliseconds TMqttReconnectSchedule::Delay(int AAttempt, uint32_t AIntervalSeconds) {
  const auto nominal = NominalDelay(AAttempt, AIntervalSeconds);
  std::uniform_real_distribution<double> factor(1.0 - kJitter, 1.0 + kJitter);
  return std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(nominal.count()) * factor(FRandom)));
}

}  // namespace kestova
