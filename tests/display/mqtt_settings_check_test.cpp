// The log lines the start gives for MQTT settings it cannot use as written, and what the client
// gets instead.
#include "display/mqtt_settings_check.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestova {
namespace {

using Lines = std::vector<std::string>;

TSettings With(const std::string& user, const std::string& pass, int32_t keepAlive, const std::string& topics) {
  TSettings s;
  s.MqttUser = user;
  s.MqttPass = pass;
  s.MqttKeepAlive = keepAlive;
  s.MqttTopics = std::make_unique<TStringList>();
  s.MqttTopics->SetStrictDelimiter(false);
  s.MqttTopics->SetCommaText(topics);
  return s;
}

TEST(MqttSettingsCheck, EachUnusableValueGivesOneLine) {
  struct Case {
    const char* name;
    TSettings settings;
    uint16_t keepAlive;
    Lines lines;
  };
  const std::string firstTopic = "\" cannot carry the answers to enumeration requests: ";
  Case cases[] = {
      {"usable", With("pos", "pw", 120, "pos/display1,pos/displays"), 120, {}},
      {"no topics at all", With("", "", 0, ""), 0, {}},
      {"password without user", With(" ", "pw", 120, "a"), 120,
       {"MQTT password ignored: it is only sent with a username"}},
      {"keep-alive out of range", With("", "", 70000, "a"), 120,
       {"MQTT keep-alive setting (Mqtt.KeepAlive): 70000 refused (0 to 65535), 120 used"}},
      {"negative keep-alive", With("", "", -1, "a"), 120,
       {"MQTT keep-alive setting (Mqtt.KeepAlive): -1 refused (0 to 65535), 120 used"}},
      {"edges of the range", With("", "", 65535, "a"), 65535, {}},
      {"invalid filter, others fine", With("", "", 2, "pos/display1,pos/#/#,,b+"), 2,
       {"MQTT topic \"pos/#/#\" not subscribed: \"#\" may only stand alone as the last level",
        "MQTT topic \"b+\" not subscribed: \"+\" may only stand alone as a level"}},
      {"first topic a filter, not a name", With("", "", 120, "pos/#,pos/display1"), 120,
       {"MQTT topic \"pos/#" + firstTopic + "a topic name may not contain \"+\" or \"#\""}},
      {"empty first topic", With("", "", 120, ",a"), 120, {"MQTT topic \"" + firstTopic + "it is empty"}},
  };
  for (const auto& c : cases) {
    const TMqttSettingsCheck check = CheckMqttSettings(c.settings);
    EXPECT_EQ(check.KeepAlive, c.keepAlive) << c.name;
    EXPECT_EQ(check.LogLines, c.lines) << c.name;
  }
  EXPECT_TRUE(IsSubscribableTopic("pos/+/x"));
  EXPECT_FALSE(IsSubscribableTopic(" \t"));
  EXPECT_FALSE(IsSubscribableTopic("pos/#/#"));
}

}  // namespace
}  // namespace kestova
