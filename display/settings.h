#pragma once
// The server's configuration, read once from Settings.ini when the display service starts.
// Nothing writes the file back. Load never fails: whatever is missing or malformed keeps its default.
//
// Every key the server knows is one row of SettingsKeys(): Load reads the rows, and the settings
// check prints the rows' effective values and calls any other key unknown. A new key is a new
// field and a new row.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/string_list.h"

namespace kestova {

class TIniFile;

enum TDisplayMode : uint8_t { dpCom = 0, dpDll = 1 };

// A broker on the same machine: an unconfigured server must not send its credentials, or take
// its text from, anywhere else.
inline constexpr const char* kDefaultMqttBroker = "localhost";

// The MQTT client's own keep-alive, so a file without the key sends the same CONNECT as ever.
inline constexpr int32_t kDefaultMqttKeepAlive = 120;

inline constexpr int32_t kDefaultMqttPort = 1883;
// The registered port of MQTT over TLS, used when TLS is on and the file names no port.
inline constexpr int32_t kDefaultMqttTlsPort = 8883;

class TSettings {
 public:
  int32_t MqttPort = kDefaultMqttPort;
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
  // [Mqtt] StatusTopic: empty, or where the server keeps a retained "online" / "offline".
  std::string MqttStatusTopic;
  // [Mqtt] UseTLS, CAFile, TlsVerify: TLS to the broker, a further trusted CA (empty: the
  // system's trust store only), and whether the broker's certificate and name are checked.
  bool MqttUseTLS = false;
  std::string MqttCAFile;
  bool MqttTlsVerify = true;

  void Load(const std::string& IniFileName);
};

// How a key's text is read, which tells the check what a well-formed value looks like.
enum class TSettingsValueKind : uint8_t { svText, svInteger, svSecret };

// One key of Settings.ini.
struct TSettingsKey {
  const char* Section;
  const char* Key;
  TSettingsValueKind Kind;
  // Reads the key (with its default) from the file into the settings.
  void (*Read)(TSettings& settings, const TIniFile& ini, const TSettingsKey& key);
  // The value the server works with, written as the file would have it (a secret is not shown).
  std::string (*Show)(const TSettings& settings);
};

// Every key, section by section, in the order Load reads them.
std::span<const TSettingsKey> SettingsKeys();

// The file the server reads: `given` (the programs' --settings), or Settings.ini beside the
// executable when none is given.
std::string SettingsFilePath(const std::string& given);

// The process-wide settings, created by the display service's start just before Load.
extern std::unique_ptr<TSettings> AppSettings;

}  // namespace kestova
