#include "display/settings.h"

#include "platform/executable_path.h"
#include "platform/ini_file.h"

namespace kestova {

std::unique_ptr<TSettings> AppSettings;

namespace {

using K = TSettingsValueKind;

int32_t Integer(const TIniFile& ini, const TSettingsKey& key, int32_t defaultValue) {
  return ini.ReadInteger(key.Section, key.Key, defaultValue);
}

std::string Text(const TIniFile& ini, const TSettingsKey& key, const std::string& defaultValue) {
  return ini.ReadString(key.Section, key.Key, defaultValue);
}

std::string Flag(bool value) { return value ? "1" : "0"; }

// UseTLS comes before Port: the port's default depends on it.
constexpr TSettingsKey kKeys[] = {
    {"Settings", "Width", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.Width = Integer(ini, k, 20); },
     [](const TSettings& s) { return std::to_string(s.Width); }},
    {"Settings", "Height", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.Height = Integer(ini, k, 2); },
     [](const TSettings& s) { return std::to_string(s.Height); }},
    {"Settings", "DisplayMode", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) {
       s.DisplayMode = static_cast<TDisplayMode>(static_cast<uint8_t>(Integer(ini, k, 0) & 0xFF));
     },
     [](const TSettings& s) { return std::to_string(static_cast<int>(s.DisplayMode)); }},
    {"Settings", "ComPort", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.ComPort = Text(ini, k, "COM1"); },
     [](const TSettings& s) { return s.ComPort; }},
    {"Settings", "ComSpeed", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.ComSpeed = Integer(ini, k, 9600); },
     [](const TSettings& s) { return std::to_string(s.ComSpeed); }},
    {"Settings", "DisplayProtocol", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.DisplayProtocol = Text(ini, k, "frame"); },
     [](const TSettings& s) { return s.DisplayProtocol; }},
    {"Settings", "DisplayInit", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.DisplayInit = Text(ini, k, ""); },
     [](const TSettings& s) { return s.DisplayInit; }},
    {"Mqtt", "Broker", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttBroker = Text(ini, k, kDefaultMqttBroker); },
     [](const TSettings& s) { return s.MqttBroker; }},
    {"Mqtt", "UseTLS", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttUseTLS = Integer(ini, k, 0) != 0; },
     [](const TSettings& s) { return Flag(s.MqttUseTLS); }},
    {"Mqtt", "Port", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) {
       s.MqttPort = Integer(ini, k, s.MqttUseTLS ? kDefaultMqttTlsPort : kDefaultMqttPort);
     },
     [](const TSettings& s) { return std::to_string(s.MqttPort); }},
    {"Mqtt", "User", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttUser = Text(ini, k, ""); },
     [](const TSettings& s) { return s.MqttUser; }},
    {"Mqtt", "Pass", K::svSecret,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttPass = Text(ini, k, ""); },
     [](const TSettings& s) { return s.MqttPass.empty() ? std::string() : std::string("(set, not shown)"); }},
    {"Mqtt", "ClientID", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttClient = Text(ini, k, "Display"); },
     [](const TSettings& s) { return s.MqttClient; }},
    {"Mqtt", "Topics", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) {
       if (!s.MqttTopics) s.MqttTopics = std::make_unique<TStringList>();
       // A list without strict delimiting: blanks separate topics, quotes keep them.
       s.MqttTopics->SetStrictDelimiter(false);
       s.MqttTopics->SetCommaText(Text(ini, k, ""));
     },
     [](const TSettings& s) { return s.MqttTopics ? s.MqttTopics->CommaText() : std::string(); }},
    {"Mqtt", "KeepAlive", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) {
       s.MqttKeepAlive = Integer(ini, k, kDefaultMqttKeepAlive);
     },
     [](const TSettings& s) { return std::to_string(s.MqttKeepAlive); }},
    {"Mqtt", "StatusTopic", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttStatusTopic = Text(ini, k, ""); },
     [](const TSettings& s) { return s.MqttStatusTopic; }},
    {"Mqtt", "CAFile", K::svText,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttCAFile = Text(ini, k, ""); },
     [](const TSettings& s) { return s.MqttCAFile; }},
    {"Mqtt", "TlsVerify", K::svInteger,
     [](TSettings& s, const TIniFile& ini, const TSettingsKey& k) { s.MqttTlsVerify = Integer(ini, k, 1) != 0; },
     [](const TSettings& s) { return Flag(s.MqttTlsVerify); }},
};

}  // namespace

std::span<const TSettingsKey> SettingsKeys() { return kKeys; }

std::string SettingsFilePath(const std::string& given) {
  return given.empty() ? ExecutableFolder() + "Settings.ini" : given;
}

void TSettings::Load(const std::string& IniFileName) {
  const TIniFile ini(IniFileName);
  for (const TSettingsKey& key : SettingsKeys()) key.Read(*this, ini, key);
}

}  // namespace kestova
