// Arbitrary bytes as Settings.ini (an installer's hand-edited file): read by TIniFile, loaded by
// TSettings::Load and checked by CheckSettings, as the server's start does. The file lives in a
// memory file, so no disk is touched. Invariants:
//  - Nothing raises: every problem of the file yields defaults.
//  - Every key the reader lists is found by its own section and key, in any letter case, as the
//    first key of that name in the first section of that name; a value is at most 2047
//    characters and loses one pair of enclosing quotes.
//  - An integer converts as documented: decimal with a sign in the 32-bit range, or hexadecimal
//    after "0x" or "$" (any 32-bit pattern, however many leading zeros); anything else gives the
//    default.
//  - A second Load gives the same settings, topics included; the topics written back as
//    comma text read back into the same list.
//  - After CheckSettings the display settings are usable (Width 1 to 80, a known command set,
//    DisplayInit bytes in hexadecimal), and a second check changes nothing more.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_protocol.h"
#include "display/settings.h"
#include "display/settings_check.h"
#include "fuzz/fuzz_support.h"
#include "platform/ascii_text.h"
#include "platform/hex_bytes.h"
#include "platform/ini_file.h"
#include "platform/string_list.h"
#include "platform/text_codec.h"

namespace {

using namespace kestova;
using fuzz::Check;

// The file every run reads: a memory file, reached through its /proc path.
const std::string& IniPath(std::string_view content) {
  static const int fd = memfd_create("Settings.ini", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  Check(fd >= 0, "no memory file");
  Check(ftruncate(fd, 0) == 0 && pwrite(fd, content.data(), content.size(), 0) == static_cast<ssize_t>(content.size()),
        "memory file not written");
  return path;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits of `base` only, at least one; the value, or nullopt past `limit`.
std::optional<uint64_t> Digits(std::string_view s, int base, uint64_t limit) {
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  for (const char c : s) {
    const int d = HexValue(c);
    if (d < 0 || d >= base) return std::nullopt;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (v > limit) return std::nullopt;
  }
  return v;
}

// The integer rule, written from its description.
std::optional<int32_t> ModelInteger(std::string_view s) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    const auto v = Digits(s.substr(2), 16, 0xFFFFFFFFu);
    if (!v) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(*v));
  }
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (!s.empty() && s[0] == '$') {
    const auto v = Digits(s.substr(1), 16, 0xFFFFFFFFu);
    if (!v) return std::nullopt;
    const auto bits = static_cast<uint32_t>(*v);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  const auto v = Digits(s, 10, negative ? 2147483648u : 2147483647u);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(*v) : static_cast<int64_t>(*v));
}

std::string Flipped(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

void Ini(const TIniFile& ini) {
  for (std::size_t s = 0; s < ini.Sections().size(); ++s) {
    const TIniFile::TSection& section = ini.Sections()[s];
    bool firstOfName = true;
    for (std::size_t earlier = 0; earlier < s; ++earlier)
      if (SameText(ini.Sections()[earlier].Name, section.Name)) firstOfName = false;
    for (std::size_t e = 0; e < section.Entries.size(); ++e) {
      const TIniFile::TEntry& entry = section.Entries[e];
      const TIniFile::TEntry* found = ini.Find(Flipped(section.Name), Flipped(entry.Key));
      // Only the first section of a name is read.
      if (!firstOfName) continue;
      Check(found != nullptr, "a listed key is not found");
      bool firstKey = true;
      for (std::size_t k = 0; k < e; ++k)
        if (SameText(section.Entries[k].Key, entry.Key)) firstKey = false;
      if (firstKey) Check(found == &entry, "another key was found than the first of its name");
      const std::string value = ini.ReadString(section.Name, entry.Key, "");
      Check(Utf8Length(value) <= TIniFile::kMaxValueCharacters, "a value is longer than 2047 characters");
      std::string_view raw = found->Value;
      if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
      Check(raw.substr(0, value.size()) == value, "a value is not the start of the text after '='");
      const std::optional<int32_t> model = ModelInteger(value);
      Check(ini.ReadInteger(section.Name, entry.Key, 7) == model.value_or(7) &&
                ini.ReadInteger(section.Name, entry.Key, -7) == model.value_or(-7),
            "an integer converts against its rule");
    }
  }
}

// Every value as the settings check shows it, the password and the topics as they are.
std::vector<std::string> Values(const TSettings& settings) {
  std::vector<std::string> values;
  for (const TSettingsKey& key : SettingsKeys()) values.push_back(key.Show(settings));
  values.push_back(settings.MqttPass);
  for (const std::string& topic : settings.MqttTopics->Items()) values.push_back(topic);
  return values;
}

void Settings(const std::string& path) {
  TSettings settings;
  settings.Load(path);
  Check(settings.MqttTopics != nullptr, "Load made no topic list");
  const std::vector<std::string> loaded = Values(settings);
  settings.Load(path);
  Check(Values(settings) == loaded, "a second Load changed the settings");

  TStringList topics;
  topics.SetCommaText(settings.MqttTopics->CommaText());
  Check(topics.Items() == settings.MqttTopics->Items(), "topics do not read back from their comma text");

  CheckSettings(settings);
  Check(settings.Width >= 1 && settings.Width <= kMaxWidth, "a Width the display cannot show");
  Check(DisplayProtocolByName(settings.DisplayProtocol).has_value(), "an unknown command set");
  Check(BytesFromHex(settings.DisplayInit).has_value(), "DisplayInit is no hexadecimal");
  const std::vector<std::string> checked = Values(settings);
  CheckSettings(settings);
  Check(Values(settings) == checked, "a second check changed the settings");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string& path = IniPath(std::string_view(reinterpret_cast<const char*>(data), size));
  Ini(TIniFile(path));
  Settings(path);
  return 0;
}
