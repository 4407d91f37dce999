#include "display/settings.h"
#include "display/settings_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace kestova {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  TSettings LoadText(const std::string& content) {
    TSettings s;
    s.Load(FDir.WriteFile("Settings.ini", content));
    return s;
  }

  static std::vector<std::string> Topics(const TSettings& s) { return s.MqttTopics->Items(); }

  test::TTempDir FDir{"kestova-settings"};
};

TEST_F(SettingsTest, MissingFileGivesEveryDefault) {
  TSettings s;
  s.Load(FDir.File("Settings.ini"));
  EXPECT_EQ(s.Width, 20);
  EXPECT_EQ(s.Height, 2);
  EXPECT_EQ(s.DisplayMode, dpCom);
  EXPECT_EQ(s.ComPort, "COM1");
  EXPECT_EQ(s.ComSpeed, 9600);
  EXPECT_EQ(s.MqttBroker, "localhost");
  EXPECT_EQ(s.MqttPort, 1883);
  EXPECT_EQ(s.MqttUser, "");
  EXPECT_EQ(s.MqttPass, "");
  EXPECT_EQ(s.MqttClient, "Display");
  EXPECT_EQ(s.DisplayProtocol, "frame");
  EXPECT_EQ(s.DisplayInit, "");
  ASSERT_TRUE(s.MqttTopics);
  EXPECT_TRUE(Topics(s).empty());
}

TEST_F(SettingsTest, ReadsTheExampleFile) {
  const TSettings s = LoadText(
      "[Settings]\nWidth=20\nDisplayMode=0\nComPort=COM3\nComSpeed=9600\n"
      "[Mqtt]\nClientID=Display1\nTopics=pos/display1,pos/displays\n"
      "Broker=127.0.0.1\nPort=11883\nUser=u\nPass=p w\n");
  EXPECT_EQ(s.ComPort, "COM3");
  EXPECT_EQ(s.MqttClient, "Display1");
  EXPECT_EQ(Topics(s), (std::vector<std::string>{"pos/display1", "pos/displays"}));
  EXPECT_EQ(s.MqttBroker, "127.0.0.1");
  EXPECT_EQ(s.MqttPort, 11883);
  EXPECT_EQ(s.MqttUser, "u");
  EXPECT_EQ(s.MqttPass, "p w");
}

TEST_F(SettingsTest, SplitsTopics) {
  struct Case {
    const char* value;
    std::vector<std::string> topics;
  } const cases[] = {
      {"a, b", {"a", "b"}},
      {"a b", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {",a", {"", "a"}},
      {"\"x, y\",z", {"x, y", "z"}},
      {"\" a b \"", {"a", "b"}},
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Topics(LoadText(std::string("[Mqtt]\nTopics=") + c.value + "\n")), c.topics) << c.value;
}

TEST_F(SettingsTest, IntegerKeysFollowTheConversionRules) {
  struct Case {
    const char* value;
    int32_t width;
  } const cases[] = {{"0x10", 16}, {"abc", 20}, {"$1F", 31}, {"-5", -5}, {"+8", 8}, {"4294967296", 20}, {"", 20}};
  for (const auto& c : cases)
    EXPECT_EQ(LoadText(std::string("[Settings]\nWidth=") + c.value).Width, c.width) << c.value;
}

TEST_F(SettingsTest, DisplayModeKeepsItsLowEightBits) {
  EXPECT_EQ(LoadText("[Settings]\nDisplayMode=1").DisplayMode, dpDll);
  EXPECT_EQ(LoadText("[Settings]\nDisplayMode=256").DisplayMode, dpCom);
  EXPECT_EQ(LoadText("[Settings]\nDisplayMode=257").DisplayMode, dpDll);
  EXPECT_EQ(static_cast<int>(LoadText("[Settings]\nDisplayMode=2").DisplayMode), 2);
}

TEST_F(SettingsTest, KeysAreFoundWhateverTheirCase) {
  const TSettings s = LoadText(
      "[MQTT]\nclientid=X\nTOPICS=t\n[settings]\ncomport='/dev/pts/7'\n"
      "displayprotocol=EPSON\nDISPLAYINIT=\"1b 74 12\"\n");
  EXPECT_EQ(s.DisplayProtocol, "EPSON");
  EXPECT_EQ(s.DisplayInit, "1b 74 12");
  EXPECT_EQ(s.MqttClient, "X");
  EXPECT_EQ(Topics(s), std::vector<std::string>{"t"});
  EXPECT_EQ(s.ComPort, "/dev/pts/7");
}

TEST_F(SettingsTest, KeepAliveIsReadAsItIsWritten) {
  struct Case {
    const char* file;
    int32_t keepAlive;
  } const cases[] = {{"", 120},
                     {"[Mqtt]\nKeepAlive=0", 0},
                     {"[Mqtt]\nKeepAlive=2", 2},
                     {"[mqtt]\nkeepalive=0x10", 16},
                     {"[Mqtt]\nKeepAlive=70000", 70000},
                     {"[Mqtt]\nKeepAlive=-1", -1},
                     {"[Mqtt]\nKeepAlive=soon", 120}};
  for (const auto& c : cases) EXPECT_EQ(LoadText(c.file).MqttKeepAlive, c.keepAlive) << c.file;
}

// The keys for availability and TLS. Without them everything stays as before: no status topic,
// no TLS, port 1883; TLS without a Port key takes 8883.
TEST_F(SettingsTest, StatusTopicAndTlsKeys) {
  struct Case {
    const char* file;
    std::string statusTopic;
    bool useTls;
    int32_t port;
    std::string caFile;
    bool verify;
  } const cases[] = {
      {"", "", false, 1883, "", true},
      {"[Mqtt]\nStatusTopic=pos/display1/status", "pos/display1/status", false, 1883, "", true},
      {"[Mqtt]\nUseTLS=1", "", true, 8883, "", true},
      {"[Mqtt]\nPort=9999\nUseTLS=1\nCAFile=/etc/kestova/ca.pem", "", true, 9999, "/etc/kestova/ca.pem", true},
      {"[Mqtt]\nuseTLS=1\nPort=junk\nTlsVerify=0", "", true, 8883, "", false},
      {"[Mqtt]\nUseTLS=0\nTlsVerify=0", "", false, 1883, "", false},
  };
  for (const Case& c : cases) {
    const TSettings s = LoadText(c.file);
    EXPECT_EQ(s.MqttStatusTopic, c.statusTopic) << c.file;
    EXPECT_EQ(s.MqttUseTLS, c.useTls) << c.file;
    EXPECT_EQ(s.MqttPort, c.port) << c.file;
    EXPECT_EQ(s.MqttCAFile, c.caFile) << c.file;
    EXPECT_EQ(s.MqttTlsVerify, c.verify) << c.file;
  }
}

// The one table of keys: every field is read through it and shows its value as the file would
// have it (the password only as set or not).
TEST_F(SettingsTest, EveryKeyShowsItsEffectiveValue) {
  const TSettings s = LoadText(
      "[Settings]\nWidth=0x10\nDisplayMode=257\nComPort=ttyUSB0\n[Mqtt]\nPass=secret\nTopics=a, \"b c\"\n"
      "StatusTopic=st\nUseTLS=1\n");
  std::vector<std::string> shown;
  for (const TSettingsKey& key : SettingsKeys())
    shown.push_back(std::string(key.Section) + "." + key.Key + "=" + key.Show(s));
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "Settings.Width=16", "Settings.Height=2", "Settings.DisplayMode=1", "Settings.ComPort=ttyUSB0",
                       "Settings.ComSpeed=9600", "Settings.DisplayProtocol=frame",
                       "Settings.DisplayInit=", "Mqtt.Broker=localhost", "Mqtt.UseTLS=1", "Mqtt.Port=8883",
                       "Mqtt.User=", "Mqtt.Pass=(set, not shown)", "Mqtt.ClientID=Display", "Mqtt.Topics=a,\"b c\"",
                       "Mqtt.KeepAlive=120", "Mqtt.StatusTopic=st", "Mqtt.CAFile=", "Mqtt.TlsVerify=1"}));
}

TEST_F(SettingsTest, ASecondLoadReplacesTheTopics) {
  TSettings s;
  s.Load(FDir.WriteFile("Settings.ini", "[Mqtt]\nTopics=a,b\n"));
  s.Load(FDir.WriteFile("Settings.ini", "[Mqtt]\nTopics=c\n"));
  EXPECT_EQ(Topics(s), std::vector<std::string>{"c"});
}

// Checked at start: a Width outside 1..80 gives way to 20; in USB mode a line 1 longer than 20
// runs into line 2. One log line each.
TEST(SettingsCheckTest, WidthLimits) {
  struct Case {
    int32_t width;
    TDisplayMode mode;
    int32_t used;
    std::vector<std::string> lines;
  } const cases[] = {
      {20, dpCom, 20, {}},
      {80, dpCom, 80, {}},
      {1, dpDll, 1, {}},
      {100000, dpCom, 20, {"Width setting (Settings.Width): 100000 refused (1 to 80), 20 used"}},
      {0, dpCom, 20, {"Width setting (Settings.Width): 0 refused (1 to 80), 20 used"}},
      {-5, dpDll, 20, {"Width setting (Settings.Width): -5 refused (1 to 80), 20 used"}},
      {40,
       dpDll,
       40,
       {"Width setting (Settings.Width): 40 runs line 1 into line 2 of the USB display, which begins at position 20"}},
      {40, dpCom, 40, {}},
  };
  for (const Case& c : cases) {
    TSettings s;
    s.Width = c.width;
    s.DisplayMode = c.mode;
    std::vector<std::string> lines;
    for (const TSettingsProblem& problem : CheckSettings(s)) {
      EXPECT_EQ(problem.Section + "." + problem.Key, "Settings.Width") << c.width;
      lines.push_back(problem.Text);
    }
    EXPECT_EQ(lines, c.lines) << c.width;
    EXPECT_EQ(s.Width, c.used) << c.width;
  }
}

// An unknown command set gives way to the frame (an empty value is the frame), bytes that are no
// hexadecimal to none; in USB mode both have no effect, and a logic-controls line 1 longer than
// 20 runs into line 2.
TEST(SettingsCheckTest, DisplayProtocolAndInit) {
  struct Case {
    std::string protocol, init;
    TDisplayMode mode;
    int32_t width;
    std::string protocolUsed, initUsed;
    std::vector<std::string> lines;
  } const cases[] = {
      {"frame", "", dpCom, 20, "frame", "", {}},
      {"Logic-Controls", "1B 74 12", dpCom, 20, "Logic-Controls", "1B 74 12", {}},
      {"epson2",
       "",
       dpCom,
       20,
       "frame",
       "",
       {"Display protocol setting (Settings.DisplayProtocol): epson2 refused (frame, epson, cd5220, logic-controls or "
        "aedex), frame used"}},
      {"",
       "1B 7",
       dpCom,
       20,
       "frame",
       "",
       {"Display init setting (Settings.DisplayInit): 1B 7 refused (bytes in hexadecimal, such as 1B 74 12), nothing "
        "sent"}},
      {"epson",
       "ESC t 18",
       dpCom,
       20,
       "epson",
       "",
       {"Display init setting (Settings.DisplayInit): ESC t 18 refused (bytes in hexadecimal, such as 1B 74 12), "
        "nothing sent"}},
      {"aedex",
       "1F",
       dpDll,
       20,
       "aedex",
       "1F",
       {"Display protocol setting (Settings.DisplayProtocol): aedex has no effect on the USB display",
        "Display init setting (Settings.DisplayInit): 1F has no effect on the USB display"}},
      {"logic-controls",
       "",
       dpCom,
       40,
       "logic-controls",
       "",
       {"Width setting (Settings.Width): 40 runs line 1 into line 2 of the logic-controls display, which begins at "
        "position 20"}},
      {"epson", "", dpCom, 40, "epson", "", {}},
  };
  for (const Case& c : cases) {
    TSettings s;
    s.DisplayProtocol = c.protocol;
    s.DisplayInit = c.init;
    s.DisplayMode = c.mode;
    s.Width = c.width;
    std::vector<std::string> lines;
    for (const TSettingsProblem& problem : CheckSettings(s)) {
      // Each line names the key its problem is about.
      EXPECT_NE(problem.Text.find("(Settings." + problem.Key + ")"), std::string::npos) << problem.Text;
      lines.push_back(problem.Text);
    }
    EXPECT_EQ(lines, c.lines) << c.protocol << " " << c.init;
    EXPECT_EQ(s.DisplayProtocol, c.protocolUsed) << c.protocol;
    EXPECT_EQ(s.DisplayInit, c.initUsed) << c.init;
  }
}

}  // namespace
}  // namespace kestova
