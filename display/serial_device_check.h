#pragma once
// Whether the device a ComPort setting leads to can carry the pole display, judged without
// opening it: opening a console's device would already disturb it (its line settings, its
// logins), and /dev/ttyS0 is the console on many boxes.
//
// Thread safety: pure functions over the file system.
#include <string>

namespace kestova {

// Empty when `devicePath` is a character device that is no console; otherwise the reason, to
// follow the path: "does not exist", "is not a character device", or that it is a system console. A console is
// /dev/console, a virtual terminal (/dev/tty0 .. /dev/tty63), or a device the kernel lists in
// `sysfsRoot`/class/tty/console/active (matched by device number, so /dev/serial/by-id links
// and other names of the same device count too).
std::string SerialDeviceProblem(const std::string& devicePath, const std::string& sysfsRoot = "/sys");

}  // namespace kestova
