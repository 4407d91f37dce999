#include "display/com_port_setup.h"

#include <array>
#include <utility>

#include "platform/ascii_text.h"
#include "platform/format.h"
#include "platform/ini_file.h"
#include "serial/device_path.h"

namespace kestova {

int32_t ComPortNumber(const std::string& ComPort) {
  const std::string_view text = ComPort;
  std::string rest;
  for (std::size_t i = 0; i < text.size();) {
    if (StartsWithText(text.substr(i), "COM")) {
      i += 3;
      continue;
    }
    rest += text[i++];
  }
  int32_t number = 0;
  return TryStrToInt(TrimBlanks(rest), number) ? number : 1;
}

bool IsComPortNumber(const std::string& ComPort) {
  const std::string_view name = TrimBlanks(ComPort);
  if (StartsWithText(name, "COM")) return true;
  int32_t number = 0;
  return TryStrToInt(name, number);
}

std::string ComPortDeviceName(const std::string& ComPort) { return EscapePercent(TrimBlanks(ComPort)); }

std::string ComPortDevicePath(const std::string& ComPort) {
  if (IsComPortNumber(ComPort)) return SerialDevicePath("COM%d", ComPortNumber(ComPort));
  return SerialDevicePath(ComPortDeviceName(ComPort), 0);
}

std::optional<TSerialBaudrate> BaudrateForSpeed(int32_t ComSpeed) {
  static constexpr std::array<std::pair<int32_t, TSerialBaudrate>, 15> kSpeeds = {{
      {110, br110},
      {300, br300},
      {600, br600},
      {1200, br1200},
      {2400, br2400},
      {4800, br4800},
      {9600, br9600},
      {14400, br14400},
      {19200, br19200},
      {38400, br38400},
      {56000, br56000},
      {57600, br57600},
      {115200, br115200},
      {128000, br128000},
      {256000, br256000},
  }};
  for (const auto& [speed, rate] : kSpeeds)
    if (speed == ComSpeed) return rate;
  return std::nullopt;
}

}  // namespace kestova
