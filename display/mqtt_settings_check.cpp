#include "display/mqtt_settings_check.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mqtt/topic.h"
#include "platform/ascii_text.h"

namespace kestova {
namespace {

void CheckTopics(const TSettings& ASettings, TSettingsProblems& AProblems) {
  if (!ASettings.MqttTopics) return;
  const std::vector<std::string>& topics = ASettings.MqttTopics->Items();
  for (const std::string& topic : topics) {
    if (IsBlank(topic)) continue;
    if (const char* problem = TMqttTopic::TopicFilterProblem(topic)) {
      AProblems.push_back({"Mqtt", "Topics", "MQTT topic \"" + topic + "\" not subscribed: " + problem});
    }
  }
  if (!topics.empty()) {
    if (const char* problem = TMqttTopic::TopicNameProblem(topics.front())) {
      AProblems.push_back({"Mqtt", "Topics",
                           "MQTT topic \"" + topics.front() +
                               "\" cannot carry the answers to enumeration requests: " + problem});
    }
  }
}

void CheckTls(const TSettings& ASettings, TSettingsProblems& AProblems) {
  if (!ASettings.MqttUseTLS) {
    if (!ASettings.MqttCAFile.empty())
      AProblems.push_back({"Mqtt", "CAFile", "MQTT CA file setting (Mqtt.CAFile) unused: TLS is off (Mqtt.UseTLS=0)"});
    if (!ASettings.MqttTlsVerify)
      AProblems.push_back(
          {"Mqtt", "TlsVerify", "MQTT certificate check setting (Mqtt.TlsVerify) unused: TLS is off (Mqtt.UseTLS=0)"});
    return;
  }
  if (!ASettings.MqttTlsVerify) {
    AProblems.push_back({"Mqtt", "TlsVerify",
                         "Warning: MQTT TLS without certificate and host-name checks (Mqtt.TlsVerify=0): anyone on "
                         "the network path can read and change what the display shows"});
    return;  // no CA file is read then
  }
  if (!ASettings.MqttCAFile.empty() && access(ASettings.MqttCAFile.c_str(), R_OK) != 0) {
    AProblems.push_back({"Mqtt", "CAFile",
                         "MQTT CA file setting (Mqtt.CAFile): " + ASettings.MqttCAFile + " cannot be read: " +
                             std::strerror(errno)});
  }
}

}  // namespace

bool IsSubscribableTopic(const std::string& ATopic) {
  return !IsBlank(ATopic) && TMqttTopic::ValidateTopicFilter(ATopic);
}

TMqttSettingsCheck CheckMqttSettings(const TSettings& ASettings) {
  TMqttSettingsCheck check;
  if (IsBlank(ASettings.MqttUser) && !IsBlank(ASettings.MqttPass)) {
    check.Problems.push_back({"Mqtt", "Pass", "MQTT password ignored: it is only sent with a username"});
  }
  if (ASettings.MqttKeepAlive < 0 || ASettings.MqttKeepAlive > 65535) {
    check.Problems.push_back({"Mqtt", "KeepAlive",
                              "MQTT keep-alive setting (Mqtt.KeepAlive): " + std::to_string(ASettings.MqttKeepAlive) +
                                  " refused (0 to 65535), " + std::to_string(kDefaultMqttKeepAlive) + " used"});
    check.KeepAlive = static_cast<uint16_t>(kDefaultMqttKeepAlive);
  } else {
    check.KeepAlive = static_cast<uint16_t>(ASettings.MqttKeepAlive);
  }
  CheckTopics(ASettings, check.Problems);
  if (!IsBlank(ASettings.MqttStatusTopic)) {
    if (const char* problem = TMqttTopic::TopicNameProblem(ASettings.MqttStatusTopic)) {
      check.Problems.push_back({"Mqtt", "StatusTopic",
                                "MQTT status topic setting (Mqtt.StatusTopic): " + ASettings.MqttStatusTopic +
                                    " not used: " + problem});
    } else {
      check.UseStatusTopic = true;
    }
  }
  CheckTls(ASettings, check.Problems);
  return check;
}

std::string MqttTlsStartLine(const TSettings& ASettings) {
  const std::string on = "MQTT TLS on, port " + std::to_string(ASettings.MqttPort) + ": ";
  if (!ASettings.MqttTlsVerify) return on + "the broker's certificate is not checked";
  return on + "the broker's certificate must name " + ASettings.MqttBroker + " and be trusted by " +
         (ASettings.MqttCAFile.empty() ? std::string("the system's trust store")
                                       : ASettings.MqttCAFile + " or the system's trust store");
}

}  // namespace kestova
