#pragma once
// Topic-name and topic-filter rules the client applies before it publishes, subscribes or
// unsubscribes. Received topics are not matched against filters.
//
// Thread safety: pure functions.
#include <string_view>

namespace kestova {

class TMqttTopic {
 public:
  static bool ContainsMultiLevelWildcardCharacter(std::string_view ATopicFilter) noexcept;
  static bool ContainsSingleLevelWildcardCharacter(std::string_view ATopicFilter) noexcept;
  static bool ContainsWildcardCharacter(std::string_view ATopicFilter) noexcept;
  // False when empty or when it holds "#" or "+".
  static bool ValidateTopicName(std::string_view ATopicName) noexcept;
  // Not empty; "#" only as the whole filter or as "/#" at its end; "+" only as the whole filter
  // or as a complete level between "/" characters.
  static bool ValidateTopicFilter(std::string_view ATopicFilter) noexcept;
};

}  // namespace kestova
