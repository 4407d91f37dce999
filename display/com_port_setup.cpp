#include "display/com_port_setup.h"

#include <array>
#include <utility>

#include "platform/ini_file.h"
#include "serial/device_path.h"

namespace kestova {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Without leading and trailing blanks and control characters.
std::string_view Trimmed(std::string_view s) {
  std::size_t first = 0, last = s.size();
  while (first < last && IsBlank(s[first])) ++first;
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

}  // namespace

int32_t ComPortNumber(const std::string& ComPort) {
  std::string rest;
  for (std::size_t i = 0; i < ComPort.size();) {
    if (i + 3 <= ComPort.size() && AsciiUpper(ComPort[i]) == 'C' && AsciiUpper(ComPort[i + 1]) == 'O' &&
        AsciiUpper(ComPort[i + 2]) == 'M') {
      i += 3;
      continue;
    }
    rest += ComPort[i++];
  }
  int32_t number = 0;
  return TryStrToInt(Trimmed(rest), number) ? number : 1;
}

bool IsComPortNumber(const std::string& ComPort) {
  const std::string_view name = Trimmed(ComPort);
  if (name.size() >= 3 && AsciiUpper(name[0]) == 'C' && AsciiUpper(name[1]) == 'O' && AsciiUpper(name[2]) == 'M')
    return true;
  int32_t number = 0;
  return TryStrToInt(name, number);
}

std::string ComPortDeviceName(const std::string& ComPort) {
  std::string name;
  for (const char c : Trimmed(ComPort)) {
    name += c;
    if (c == '%') name += '%';
  }
  return name;
}

std::string ComPortDevicePath(const std::string& ComPort) {
  if (IsComPortNumber(ComPort)) return SerialDevicePath("COM%d", ComPortNumber(ComPort));
  return SerialDevicePath(ComPortDeviceName(ComPort), 0);
}

std::optional<TSerialBaudrate> BaudrateForSpeed(int32_t ComSpeed) {
  static constexpr std::array<std::pair<int32_t, TSerialBaudrate>, 15> kSpeeds = {{
      {110, br110}, {300, br300}, {600, br600}, {1200, br1200}, {2400, br2400},
      {4800, br4800}, {9600, br9600}, {14400, br14400}, {19200, br19200}, {38400, br38400},
      {56000, br56000}, {57600, br57600}, {115200, br115200}, {128000, br128000}, {256000, br256000},
  }};
  for (const auto& [speed, rate] : kSpeeds)
    if (speed == ComSpeed) return rate;
  return std::nullopt;
}

}  // namespace kestova
