#include "display/mqtt_settings_check.h"

#include "mqtt/topic.h"

namespace kestova {
namespace {

// Blank as the settings and the client see it: nothing but spaces and control characters.
bool IsBlank(const std::string& AText) {
  for (char c : AText)
    if (static_cast<unsigned char>(c) > 32) return false;
  return true;
}

}  // namespace

bool IsSubscribableTopic(const std::string& ATopic) {
  return !IsBlank(ATopic) && TMqttTopic::ValidateTopicFilter(ATopic);
}

TMqttSettingsCheck CheckMqttSettings(const TSettings& ASettings) {
  TMqttSettingsCheck check;
  if (IsBlank(ASettings.MqttUser) && !IsBlank(ASettings.MqttPass)) {
    check.LogLines.push_back("MQTT password ignored: it is only sent with a username");
  }
  if (ASettings.MqttKeepAlive < 0 || ASettings.MqttKeepAlive > 65535) {
    check.LogLines.push_back("MQTT keep-alive setting (Mqtt.KeepAlive): " + std::to_string(ASettings.MqttKeepAlive) +
                             " refused (0 to 65535), " + std::to_string(kDefaultMqttKeepAlive) + " used");
    check.KeepAlive = static_cast<uint16_t>(kDefaultMqttKeepAlive);
  } else {
    check.KeepAlive = static_cast<uint16_t>(ASettings.MqttKeepAlive);
  }
  if (!ASettings.MqttTopics) return check;
  const std::vector<std::string>& topics = ASettings.MqttTopics->Items();
  for (const std::string& topic : topics) {
    if (IsBlank(topic)) continue;
    if (const char* problem = TMqttTopic::TopicFilterProblem(topic)) {
      check.LogLines.push_back("MQTT topic \"" + topic + "\" not subscribed: " + problem);
    }
  }
  if (!topics.empty()) {
    if (const char* problem = TMqttTopic::TopicNameProblem(topics.front())) {
      check.LogLines.push_back("MQTT topic \"" + topics.front() +
                               "\" cannot carry the answers to enumeration requests: " + problem);
    }
  }
  return check;
}

}  // namespace kestova
