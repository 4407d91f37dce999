#include "display/mqtt_settings_check.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mqtt/topic.h"
#include "platform/ascii_text.h"

namespace kestova {
namespace {

void CheckTopics(const TSettings& settings, TSettingsProblems& problems) {
  if (!settings.MqttTopics) return;
  const std::vector<std::string>& topics = settings.MqttTopics->Items();
  for (const std::string& topic : topics) {
    if (IsBlank(topic)) continue;
    if (const char* problem = TMqttTopic::TopicFilterProblem(topic)) {
      problems.push_back({"Mqtt", "Topics", "MQTT topic \"" + topic + "\" not subscribed: " + problem});
    }
  }
  if (!topics.empty()) {
    if (const char* problem = TMqttTopic::TopicNameProblem(topics.front())) {
      problems.push_back(
          {"Mqtt", "Topics",
           "MQTT topic \"" + topics.front() + "\" cannot carry the answers to enumeration requests: " + problem});
    }
  }
}

void CheckTls(const TSettings& settings, TSettingsProblems& problems) {
  if (!settings.MqttUseTLS) {
    if (!settings.MqttCAFile.empty())
      problems.push_back({"Mqtt", "CAFile", "MQTT CA file setting (Mqtt.CAFile) unused: TLS is off (Mqtt.UseTLS=0)"});
    if (!settings.MqttTlsVerify)
      problems.push_back(
          {"Mqtt", "TlsVerify", "MQTT certificate check setting (Mqtt.TlsVerify) unused: TLS is off (Mqtt.UseTLS=0)"});
    return;
  }
  if (!settings.MqttTlsVerify) {
    problems.push_back({"Mqtt", "TlsVerify",
                        "Warning: MQTT TLS without certificate and host-name checks (Mqtt.TlsVerify=0): anyone on "
                        "the network path can read and change what the display shows"});
    return;  // no CA file is read then
  }
  if (!settings.MqttCAFile.empty() && access(settings.MqttCAFile.c_str(), R_OK) != 0) {
    problems.push_back(
        {"Mqtt", "CAFile",
         "MQTT CA file setting (Mqtt.CAFile): " + settings.MqttCAFile + " cannot be read: " + std::strerror(errno)});
  }
}

}  // namespace

bool IsSubscribableTopic(const std::string& topic) { return !IsBlank(topic) && TMqttTopic::ValidateTopicFilter(topic); }

TMqttSettingsCheck CheckMqttSettings(const TSettings& settings) {
  TMqttSettingsCheck check;
  if (IsBlank(settings.MqttUser) && !IsBlank(settings.MqttPass)) {
    check.Problems.push_back({"Mqtt", "Pass", "MQTT password ignored: it is only sent with a username"});
  }
  if (settings.MqttKeepAlive < 0 || settings.MqttKeepAlive > 65535) {
    check.Problems.push_back({"Mqtt", "KeepAlive",
                              "MQTT keep-alive setting (Mqtt.KeepAlive): " + std::to_string(settings.MqttKeepAlive) +
                                  " refused (0 to 65535), " + std::to_string(kDefaultMqttKeepAlive) + " used"});
    check.KeepAlive = static_cast<uint16_t>(kDefaultMqttKeepAlive);
  } else {
    check.KeepAlive = static_cast<uint16_t>(settings.MqttKeepAlive);
  }
  CheckTopics(settings, check.Problems);
  if (!IsBlank(settings.MqttStatusTopic)) {
    if (const char* problem = TMqttTopic::TopicNameProblem(settings.MqttStatusTopic)) {
      check.Problems.push_back(
          {"Mqtt", "StatusTopic",
           "MQTT status topic setting (Mqtt.StatusTopic): " + settings.MqttStatusTopic + " not used: " + problem});
    } else {
      check.UseStatusTopic = true;
    }
  }
  CheckTls(settings, check.Problems);
  return check;
}

std::string MqttTlsStartLine(const TSettings& settings) {
  const std::string on = "MQTT TLS on, port " + std::to_string(settings.MqttPort) + ": ";
  if (!settings.MqttTlsVerify) return on + "the broker's certificate is not checked";
  return on + "the broker's certificate must name " + settings.MqttBroker + " and be trusted by " +
         (settings.MqttCAFile.empty() ? std::string("the system's trust store")
                                      : settings.MqttCAFile + " or the system's trust store");
}

}  // namespace kestova
