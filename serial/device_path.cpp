#include "serial/device_path.h"

#include <cctype>

#include "platform/ascii_text.h"
#include "platform/format.h"

namespace kestova {

namespace {

std::string FormatName(const std::string& deviceName, TSerialPortInt portNum) {
  if (deviceName.find('%') == std::string::npos) return deviceName;
  try {
    return Format(deviceName.c_str(), portNum);
  } catch (const fmt::format_error&) {
    return deviceName;  // not a usable format: the name stands for itself
  }
}

// The number of a "COM<n>" name, or -1.
long ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 13) return -1;
  if (!StartsWithText(name, "COM")) return -1;
  long n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

}  // namespace

std::string SerialDevicePath(const std::string& deviceName, TSerialPortInt portNum) {
  const std::string name = FormatName(deviceName, portNum);
  if (!name.empty() && name.front() == '/') return name;
  const long com = ComNumber(name);
  if (com >= 1) return "/dev/ttyS" + std::to_string(com - 1);
  return "/dev/" + name;
}

}  // namespace kestova
