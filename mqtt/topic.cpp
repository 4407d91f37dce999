#include "mqtt/topic.h"

#include "mqtt/global.h"
#include "platform/text_codec.h"

namespace kestova {
namespace {

// What names and filters share: length, encoding, no NUL.
const char* TextProblem(std::string_view AText) noexcept {
  if (AText.empty()) return "it is empty";
  if (AText.size() > MQTT_MAX_FIELD_LENGTH) return "it is longer than 65535 bytes";
  if (!IsValidUtf8(AText)) return "it is not valid UTF-8";
  if (AText.find('\0') != std::string_view::npos) return "it contains a NUL character";
  return nullptr;
}

}  // namespace

bool TMqttTopic::ContainsMultiLevelWildcardCharacter(std::string_view ATopicFilter) noexcept {
  return ATopicFilter.find('#') != std::string_view::npos;
}

bool TMqttTopic::ContainsSingleLevelWildcardCharacter(std::string_view ATopicFilter) noexcept {
  return ATopicFilter.find('+') != std::string_view::npos;
}

bool TMqttTopic::ContainsWildcardCharacter(std::string_view ATopicFilter) noexcept {
  return ContainsMultiLevelWildcardCharacter(ATopicFilter) || ContainsSingleLevelWildcardCharacter(ATopicFilter);
}

const char* TMqttTopic::TopicNameProblem(std::string_view ATopicName) noexcept {
  if (const char* problem = TextProblem(ATopicName)) return problem;
  if (ContainsWildcardCharacter(ATopicName)) return "a topic name may not contain \"+\" or \"#\"";
  return nullptr;
}

const char* TMqttTopic::TopicFilterProblem(std::string_view ATopicFilter) noexcept {
  if (const char* problem = TextProblem(ATopicFilter)) return problem;
  const std::size_t length = ATopicFilter.size();
  for (std::size_t i = 0; i < length; ++i) {
    const char c = ATopicFilter[i];
    if (c != '#' && c != '+') continue;
    const bool levelStart = i == 0 || ATopicFilter[i - 1] == '/';
    const bool levelEnd = i + 1 == length || ATopicFilter[i + 1] == '/';
    if (c == '#' && (!levelStart || i + 1 != length)) return "\"#\" may only stand alone as the last level";
    if (c == '+' && (!levelStart || !levelEnd)) return "\"+\" may only stand alone as a level";
  }
  return nullptr;
}

bool TMqttTopic::ValidateTopicName(std::string_view ATopicName) noexcept {
  return TopicNameProblem(ATopicName) == nullptr;
}

bool TMqttTopic::ValidateTopicFilter(std::string_view ATopicFilter) noexcept {
  return TopicFilterProblem(ATopicFilter) == nullptr;
}

}  // namespace kestova
