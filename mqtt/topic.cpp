#include "mqtt/topic.h"

namespace kestova {

bool TMqttTopic::ContainsMultiLevelWildcardCharacter(std::string_view ATopicFilter) noexcept {
  return ATopicFilter.find('#') != std::string_view::npos;
}

bool TMqttTopic::ContainsSingleLevelWildcardCharacter(std::string_view ATopicFilter) noexcept {
  return ATopicFilter.find('+') != std::string_view::npos;
}

bool TMqttTopic::ContainsWildcardCharacter(std::string_view ATopicFilter) noexcept {
  return ContainsMultiLevelWildcardCharacter(ATopicFilter) || ContainsSingleLevelWildcardCharacter(ATopicFilter);
}

bool TMqttTopic::ValidateTopicName(std::string_view ATopicName) noexcept {
  return !ATopicName.empty() && !ContainsWildcardCharacter(ATopicName);
}

bool TMqttTopic::ValidateTopicFilter(std::string_view ATopicFilter) noexcept {
  if (ATopicFilter.empty()) return false;
  const std::size_t length = ATopicFilter.size();
  // Only the end of the filter is examined for "#"; one earlier in it is left for the broker to refuse.
  if (ContainsMultiLevelWildcardCharacter(ATopicFilter) && length > 1) {
    if (ATopicFilter[length - 1] != '#' || ATopicFilter[length - 2] != '/') return false;
  }
  if (ContainsSingleLevelWildcardCharacter(ATopicFilter) && length > 1) {
    for (std::size_t i = 0; i < length; ++i) {
      if (ATopicFilter[i] != '+') continue;
      if (i > 0 && ATopicFilter[i - 1] != '/') return false;
      if (i + 1 < length && ATopicFilter[i + 1] != '/') return false;
    }
  }
  return true;
}

}  // namespace kestova
