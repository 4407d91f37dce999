#pragma once
// Topic-name and topic-filter rules of MQTT 3.1.1 (section 4.7) that the client applies before
// it publishes, subscribes or unsubscribes, and to the topics the broker sends. Received topics
// are not matched against filters.
//
// Both kinds are 1 to 65535 bytes of UTF-8 without U+0000. In a filter "#" stands alone as the
// last level ("#", "a/#") and "+" stands alone as a level ("+", "a/+/b"); a name holds neither.
//
// Thread safety: pure functions.
#include <string_view>

namespace kestova {

class TMqttTopic {
 public:
  static bool ContainsMultiLevelWildcardCharacter(std::string_view ATopicFilter) noexcept;
  static bool ContainsSingleLevelWildcardCharacter(std::string_view ATopicFilter) noexcept;
  static bool ContainsWildcardCharacter(std::string_view ATopicFilter) noexcept;
  static bool ValidateTopicName(std::string_view ATopicName) noexcept;
  static bool ValidateTopicFilter(std::string_view ATopicFilter) noexcept;
  // Why the text is no valid topic name / filter (a short phrase, for log lines), or nullptr
  // when it is one.
  static const char* TopicNameProblem(std::string_view ATopicName) noexcept;
  static const char* TopicFilterProblem(std::string_view ATopicFilter) noexcept;
};

}  // namespace kestova
