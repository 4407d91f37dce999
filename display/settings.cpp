#include "display/settings.h"

#include "platform/ini_file.h"

namespace kestova {

std::unique_ptr<TSettings> AppSettings;

void TSettings::Load(const std::string& IniFileName) {
  const TIniFile ini(IniFileName);
  Width = ini.ReadInteger("Settings", "Width", 20);
  Height = ini.ReadInteger("Settings", "Height", 2);
  DisplayMode = static_cast<TDisplayMode>(static_cast<uint8_t>(ini.ReadInteger("Settings", "DisplayMode", 0) & 0xFF));
  ComPort = ini.ReadString("Settings", "ComPort", "COM1");
  ComSpeed = ini.ReadInteger("Settings", "ComSpeed", 9600);
  DisplayProtocol = ini.ReadString("Settings", "DisplayProtocol", "frame");
  DisplayInit = ini.ReadString("Settings", "DisplayInit", "");
  MqttBroker = ini.ReadString("Mqtt", "Broker", kDefaultMqttBroker);
  MqttPort = ini.ReadInteger("Mqtt", "Port", 1883);
  MqttUser = ini.ReadString("Mqtt", "User", "");
  MqttPass = ini.ReadString("Mqtt", "Pass", "");
  MqttClient = ini.ReadString("Mqtt", "ClientID", "Display");
  if (!MqttTopics) MqttTopics = std::make_unique<TStringList>();
  // A list without strict delimiting: blanks separate topics, quotes keep them.
  MqttTopics->SetStrictDelimiter(false);
  MqttTopics->SetCommaText(ini.ReadString("Mqtt", "Topics", ""));
  MqttKeepAlive = ini.ReadInteger("Mqtt", "KeepAlive", kDefaultMqttKeepAlive);
}

}  // namespace kestova
