// The log lines the start gives for MQTT settings it cannot use as written, and what the client
// gets instead.
#include "display/mqtt_settings_check.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

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

TSettings WithStatus(const std::string& statusTopic) {
  TSettings s = With("", "", 120, "a");
  s.MqttStatusTopic = statusTopic;
  return s;
}

TSettings WithTls(bool useTls, const std::string& caFile, bool verify) {
  TSettings s = With("", "", 120, "a");
  s.MqttUseTLS = useTls;
  s.MqttCAFile = caFile;
  s.MqttTlsVerify = verify;
  return s;
}

TEST(MqttSettingsCheck, EachUnusableValueGivesOneLine) {
  const test::TTempDir dir;
  const std::string readableCa = dir.WriteFile("ca.pem", "not checked here");
  const std::string missingCa = dir.File("missing.pem");
  struct Case {
    const char* name;
    TSettings settings;
    uint16_t keepAlive;
    Lines lines;
    Lines keys;
    bool statusTopic = false;
  };
  const std::string firstTopic = "\" cannot carry the answers to enumeration requests: ";
  Case cases[] = {
      {"usable", With("pos", "pw", 120, "pos/display1,pos/displays"), 120, {}, {}},
      {"no topics at all", With("", "", 0, ""), 0, {}, {}},
      {"password without user",
       With(" ", "pw", 120, "a"),
       120,
       {"MQTT password ignored: it is only sent with a username"},
       {"Mqtt.Pass"}},
      {"keep-alive out of range",
       With("", "", 70000, "a"),
       120,
       {"MQTT keep-alive setting (Mqtt.KeepAlive): 70000 refused (0 to 65535), 120 used"},
       {"Mqtt.KeepAlive"}},
      {"negative keep-alive",
       With("", "", -1, "a"),
       120,
       {"MQTT keep-alive setting (Mqtt.KeepAlive): -1 refused (0 to 65535), 120 used"},
       {"Mqtt.KeepAlive"}},
      {"edges of the range", With("", "", 65535, "a"), 65535, {}, {}},
      {"invalid filter, others fine",
       With("", "", 2, "pos/display1,pos/#/#,,b+"),
       2,
       {"MQTT topic \"pos/#/#\" not subscribed: \"#\" may only stand alone as the last level",
        "MQTT topic \"b+\" not subscribed: \"+\" may only stand alone as a level"},
       {"Mqtt.Topics", "Mqtt.Topics"}},
      {"first topic a filter, not a name",
       With("", "", 120, "pos/#,pos/display1"),
       120,
       {"MQTT topic \"pos/#" + firstTopic + "a topic name may not contain \"+\" or \"#\""},
       {"Mqtt.Topics"}},
      {"empty first topic",
       With("", "", 120, ",a"),
       120,
       {"MQTT topic \"" + firstTopic + "it is empty"},
       {"Mqtt.Topics"}},
      {"status topic", WithStatus("pos/display1/status"), 120, {}, {}, true},
      {"blank status topic", WithStatus(" "), 120, {}, {}, false},
      {"status topic a filter",
       WithStatus("pos/+/status"),
       120,
       {"MQTT status topic setting (Mqtt.StatusTopic): pos/+/status not used: a topic name may not contain \"+\" or "
        "\"#\""},
       {"Mqtt.StatusTopic"}},
      {"TLS with the system's store", WithTls(true, "", true), 120, {}, {}},
      {"TLS with a readable CA file", WithTls(true, readableCa, true), 120, {}, {}},
      {"TLS with a missing CA file",
       WithTls(true, missingCa, true),
       120,
       {"MQTT CA file setting (Mqtt.CAFile): " + missingCa + " cannot be read: No such file or directory"},
       {"Mqtt.CAFile"}},
      {"TLS without checks",
       WithTls(true, missingCa, false),
       120,
       {"Warning: MQTT TLS without certificate and host-name checks (Mqtt.TlsVerify=0): anyone on the network path "
        "can read and change what the display shows"},
       {"Mqtt.TlsVerify"}},
      {"TLS settings without TLS",
       WithTls(false, readableCa, false),
       120,
       {"MQTT CA file setting (Mqtt.CAFile) unused: TLS is off (Mqtt.UseTLS=0)",
        "MQTT certificate check setting (Mqtt.TlsVerify) unused: TLS is off (Mqtt.UseTLS=0)"},
       {"Mqtt.CAFile", "Mqtt.TlsVerify"}},
  };
  for (const auto& c : cases) {
    const TMqttSettingsCheck check = CheckMqttSettings(c.settings);
    EXPECT_EQ(check.KeepAlive, c.keepAlive) << c.name;
    EXPECT_EQ(check.UseStatusTopic, c.statusTopic) << c.name;
    Lines lines, keys;
    for (const TSettingsProblem& problem : check.Problems) {
      lines.push_back(problem.Text);
      keys.push_back(problem.Section + "." + problem.Key);
    }
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_EQ(keys, c.keys) << c.name;
  }
  EXPECT_TRUE(IsSubscribableTopic("pos/+/x"));
  EXPECT_FALSE(IsSubscribableTopic(" \t"));
  EXPECT_FALSE(IsSubscribableTopic("pos/#/#"));
}

TEST(MqttSettingsCheck, TheTlsStartLineSaysWhatTheCertificateIsCheckedAgainst) {
  TSettings s = WithTls(true, "", true);
  s.MqttBroker = "broker.shop";
  s.MqttPort = 8883;
  EXPECT_EQ(MqttTlsStartLine(s),
            "MQTT TLS on, port 8883: the broker's certificate must name broker.shop and be trusted by the system's "
            "trust store");
  s.MqttCAFile = "/etc/kestova/ca.pem";
  EXPECT_EQ(MqttTlsStartLine(s),
            "MQTT TLS on, port 8883: the broker's certificate must name broker.shop and be trusted by "
            "/etc/kestova/ca.pem or the system's trust store");
  s.MqttTlsVerify = false;
  EXPECT_EQ(MqttTlsStartLine(s), "MQTT TLS on, port 8883: the broker's certificate is not checked");
}

}  // namespace
}  // namespace kestova
