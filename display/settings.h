#pragma once
// The server's configuration, read once from Settings.ini when the display service starts.
// Nothing writes the file back. Load never fails: whatever is missing or malformed keeps its default.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/string_list.h"

namespace kestova {

enum TDisplayMode : uint8_t { dpCom = 0, dpDll = 1 };

// A broker on the same machine: an unconfigured server must not send its credentials, or take
// its text from, anywhere else.
inline constexpr const char* kDefaultMqttBroker = "localhost";

// The MQTT client's own keep-alive, so a file without the key sends the same CONNECT as ever.
inline constexpr int32_t kDefaultMqttKeepAlive = 120;

class TSettings {
 public:
  int32_t MqttPort = 1883;
  std::string MqttBroker = kDefaultMqttBroker;
  std::string MqttUser;
  std::string MqttPass;
  // Created by the first Load; owned by the settings object.
  std::unique_ptr<TStringList> MqttTopics;
  std::string MqttClient = "Display";
  // Any 8-bit value is kept; only dpCom and dpDll drive a display.
  TDisplayMode DisplayMode = dpCom;
  std::string ComPort = "COM1";
  int32_t ComSpeed = 9600;
  int32_t Width = 20;
  // Read and kept; nothing uses it.
  int32_t Height = 2;
  // [Settings] DisplayProtocol and DisplayInit, as read; the service's start checks them.
  std::string DisplayProtocol = "frame";
  std::string DisplayInit;
  // [Mqtt] KeepAlive, seconds; kept as read (the service checks the range 0 to 65535).
  int32_t MqttKeepAlive = kDefaultMqttKeepAlive;

  void Load(const std::string& IniFileName);
};

// The process-wide settings, created by the display service's start just before Load.
extern std::unique_ptr<TSettings> AppSettings;

}  // namespace kestova
