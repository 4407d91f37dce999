#include "display/serial_device_check.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kestova {
namespace {

constexpr unsigned kVirtualConsoleMajor = 4;  // tty0 .. tty63 (ttyS* share the major from 64 on)
constexpr unsigned kVirtualConsoleMinors = 64;
constexpr unsigned kConsoleMajor = 5;  // /dev/console is 5:1
constexpr unsigned kConsoleMinor = 1;

std::string ReadWord(const std::string& path) {
  std::ifstream in(path);
  std::string word;
  in >> word;
  return word;
}

// A device the kernel writes its console to: listed in console/active with the same number.
bool IsActiveConsole(dev_t device, const std::string& sysfsRoot) {
  std::ifstream active(sysfsRoot + "/class/tty/console/active");
  std::string name;
  while (active >> name) {
    // "ttyS0" there has "4:64" in its own folder.
    std::istringstream number(ReadWord(sysfsRoot + "/class/tty/" + name + "/dev"));
    unsigned major = 0, minor = 0;
    char colon = 0;
    if (number >> major >> colon >> minor && colon == ':' && makedev(major, minor) == device) return true;
  }
  return false;
}

}  // namespace

std::string SerialDeviceProblem(const std::string& devicePath, const std::string& sysfsRoot) {
  struct stat status {};
  if (stat(devicePath.c_str(), &status) != 0) {
    return errno == ENOENT ? std::string("does not exist")
                           : std::string("cannot be looked at: ") + std::strerror(errno);
  }
  if (!S_ISCHR(status.st_mode)) return "is not a character device";
  const unsigned major = ::major(status.st_rdev), minor = ::minor(status.st_rdev);
  const bool console = (major == kConsoleMajor && minor == kConsoleMinor) ||
                       (major == kVirtualConsoleMajor && minor < kVirtualConsoleMinors) ||
                       IsActiveConsole(status.st_rdev, sysfsRoot);
  if (console) return "is a system console (kernel messages and logins go there), not a display";
  return {};
}

}  // namespace kestova
