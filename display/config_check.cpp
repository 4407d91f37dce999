#include "display/config_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "display/com_port_setup.h"
#include "display/mqtt_settings_check.h"
#include "display/serial_device_check.h"
#include "display/settings.h"
#include "display/settings_check.h"
#include "platform/ascii_text.h"
#include "platform/ini_file.h"
#include "platform/tcp_socket.h"
#include "platform/usb_pole_display.h"

namespace kestova {
namespace {

struct TProblem {
  int Line;  // 0: about no line of the file
  std::string Text;
};

class TConfigChecker {
 public:
  TConfigChecker(const std::string& fileName, const TConfigCheckPlaces& places)
      : FFileName(fileName), FPlaces(places), FIni(fileName) {}

  TConfigCheckReport Run();

 private:
  void CheckStructure();
  void CheckKeysOf(const TIniFile::TSection& section);
  void CheckNumbers(const TSettings& settings);
  void CheckBroker(const TSettings& settings);
  void CheckDisplayOutput(const TSettings& settings);
  void AddAt(const std::string& section, const std::string& key, std::string text);
  void Add(int line, std::string text) { FProblems.push_back({line, std::move(text)}); }

  const std::string& FFileName;
  const TConfigCheckPlaces& FPlaces;
  const TIniFile FIni;
  std::vector<TProblem> FProblems;
};

// Edits (insert, delete, replace) between two names, ignoring letter case.
std::size_t Distance(std::string_view a, std::string_view b) {
  const std::string x = AsciiLowerCase(a), y = AsciiLowerCase(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

// " (Topics?)" for the one known name within two edits of `name`, else nothing.
std::string Suggestion(std::string_view name, const std::vector<std::string>& known) {
  std::string best;
  std::size_t bestDistance = 3;
  bool tie = false;
  for (const std::string& candidate : known) {
    const std::size_t d = Distance(name, candidate);
    if (d < bestDistance) {
      best = candidate;
      bestDistance = d;
      tie = false;
    } else if (d == bestDistance) {
      tie = true;
    }
  }
  return best.empty() || tie ? std::string() : " (" + best + "?)";
}

std::vector<std::string> KnownSections() {
  std::vector<std::string> sections;
  for (const TSettingsKey& key : SettingsKeys())
    if (std::none_of(sections.begin(), sections.end(), [&](const std::string& s) { return s == key.Section; }))
      sections.push_back(key.Section);
  return sections;
}

std::vector<std::string> KnownKeys(std::string_view section) {
  std::vector<std::string> keys;
  for (const TSettingsKey& key : SettingsKeys())
    if (SameText(key.Section, section)) keys.push_back(key.Key);
  return keys;
}

// Why a settings file cannot be read, found without opening anything that is not a plain file
// (a --settings that names a serial device must not open it).
std::string NotAPlainFile(const std::string& fileName) {
  struct stat status {};
  if (stat(fileName.c_str(), &status) != 0) return std::strerror(errno);
  return S_ISREG(status.st_mode) ? std::string() : std::string("not a plain file");
}

}  // namespace

TConfigCheckReport TConfigChecker::Run() {
  TConfigCheckReport report;
  if (!FIni.Readable()) {
    report.Unreadable = "it cannot be opened";
    return report;
  }

  TSettings settings;
  settings.Load(FFileName);
  CheckStructure();
  CheckNumbers(settings);
  for (TSettingsProblem& problem : CheckSettings(settings)) AddAt(problem.Section, problem.Key, problem.Text);
  const TMqttSettingsCheck mqtt = CheckMqttSettings(settings);
  for (const TSettingsProblem& problem : mqtt.Problems) AddAt(problem.Section, problem.Key, problem.Text);
  settings.MqttKeepAlive = mqtt.KeepAlive;
  const auto& topics = settings.MqttTopics->Items();
  if (std::none_of(topics.begin(), topics.end(), IsSubscribableTopic))
    AddAt("Mqtt", "Topics",
          "MQTT topics setting (Mqtt.Topics) names no topic to subscribe to: the display receives nothing");
  CheckBroker(settings);
  CheckDisplayOutput(settings);

  std::string section;
  for (const TSettingsKey& key : SettingsKeys()) {
    if (section != key.Section) {
      section = key.Section;
      report.Values.push_back("[" + section + "]");
    }
    report.Values.push_back(std::string(key.Key) + "=" + key.Show(settings));
  }
  // In file order; what concerns no line last.
  std::stable_sort(FProblems.begin(), FProblems.end(), [](const TProblem& a, const TProblem& b) {
    return (a.Line == 0 ? INT32_MAX : a.Line) < (b.Line == 0 ? INT32_MAX : b.Line);
  });
  for (const TProblem& problem : FProblems)
    report.Problems.push_back(FFileName + (problem.Line > 0 ? ":" + std::to_string(problem.Line) : "") + ": " +
                              problem.Text);
  return report;
}

void TConfigChecker::AddAt(const std::string& section, const std::string& key, std::string text) {
  const TIniFile::TEntry* entry = section.empty() ? nullptr : FIni.Find(section, key);
  Add(entry ? entry->Line : 0, std::move(text));
}

void TConfigChecker::CheckStructure() {
  for (const int line : FIni.SkippedLines())
    Add(line, "line skipped: it is no [Section], no Key=Value inside a section and no ; comment");
  const std::vector<std::string> known = KnownSections();
  const auto& sections = FIni.Sections();
  for (auto it = sections.begin(); it != sections.end(); ++it) {
    const auto first = std::find_if(sections.begin(), it, [&](const auto& s) { return SameText(s.Name, it->Name); });
    if (first != it) {
      Add(it->Line, "section [" + it->Name + "] repeated: only the one on line " + std::to_string(first->Line) +
                        " is read, the keys here are ignored");
    } else if (std::none_of(known.begin(), known.end(), [&](const std::string& k) { return SameText(k, it->Name); })) {
      Add(it->Line, "unknown section [" + it->Name + "], its keys are ignored" + Suggestion(it->Name, known));
    } else {
      CheckKeysOf(*it);
    }
  }
}

void TConfigChecker::CheckKeysOf(const TIniFile::TSection& section) {
  const std::vector<std::string> known = KnownKeys(section.Name);
  for (auto it = section.Entries.begin(); it != section.Entries.end(); ++it) {
    const auto first =
        std::find_if(section.Entries.begin(), it, [&](const auto& e) { return SameText(e.Key, it->Key); });
    if (first != it) {
      Add(it->Line, "key " + it->Key + " repeated in [" + section.Name + "]: only the one on line " +
                        std::to_string(first->Line) + " counts");
    } else if (std::none_of(known.begin(), known.end(), [&](const std::string& k) { return SameText(k, it->Key); })) {
      Add(it->Line, "unknown key " + it->Key + " in [" + section.Name + "], ignored" + Suggestion(it->Key, known));
    }
  }
}

void TConfigChecker::CheckNumbers(const TSettings& settings) {
  for (const TSettingsKey& key : SettingsKeys()) {
    const TIniFile::TEntry* entry = FIni.Find(key.Section, key.Key);
    if (key.Kind != TSettingsValueKind::svInteger || entry == nullptr) continue;
    const std::string value = FIni.ReadString(key.Section, key.Key, "");
    int32_t number = 0;
    if (!TryStrToInt(value, number))
      Add(entry->Line, std::string(key.Key) + " setting (" + key.Section + "." + key.Key + "): " + value +
                           " is not a number, " + key.Show(settings) + " used");
  }
}

void TConfigChecker::CheckBroker(const TSettings& settings) {
  if (settings.MqttPort < 1 || settings.MqttPort > 65535) {
    AddAt("Mqtt", "Port",
          "MQTT port setting (Mqtt.Port): " + std::to_string(settings.MqttPort) +
              " is outside 1 to 65535, the server cannot connect");
    return;
  }
  if (settings.MqttBroker.empty()) {
    AddAt("Mqtt", "Broker", "MQTT broker setting (Mqtt.Broker) is empty, the server cannot connect");
    return;
  }
  try {
    // As the client resolves it: IPv4.
    ResolveHost(settings.MqttBroker, static_cast<uint16_t>(settings.MqttPort), TAddressFamily::afIPv4);
  } catch (const EResolveError& e) {
    AddAt("Mqtt", "Broker", std::string("MQTT broker setting (Mqtt.Broker): ") + e.what());
  }
}

void TConfigChecker::CheckDisplayOutput(const TSettings& settings) {
  if (settings.DisplayMode == dpCom) {
    const std::string path = ComPortDevicePath(settings.ComPort);
    const std::string problem = SerialDeviceProblem(path, FPlaces.SysfsRoot);
    if (!problem.empty())
      AddAt("Settings", "ComPort",
            "COM port setting (Settings.ComPort): " + settings.ComPort +
                (path == settings.ComPort ? " " : " leads to " + path + ", which ") + problem);
  } else if (settings.DisplayMode == dpDll) {
    TUsbPoleDisplay library;
    if (!library.Load(FPlaces.UsbLibraryPath))
      AddAt("Settings", "DisplayMode",
            "USB display (Settings.DisplayMode=1) without its library: " + library.LastError());
  }
}

TConfigCheckReport CheckConfigFile(const std::string& fileName, const TConfigCheckPlaces& places) {
  TConfigCheckReport unreadable;
  unreadable.Unreadable = NotAPlainFile(fileName);
  if (!unreadable.Unreadable.empty()) return unreadable;
  return TConfigChecker(fileName, places).Run();
}

}  // namespace kestova
