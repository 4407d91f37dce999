#pragma once
// How the ComPort and ComSpeed settings become the serial port's number, device and speed.
#include <cstdint>
#include <optional>
#include <string>

#include "serial/serial_types.h"

namespace kestova {

// "COM3", "com3", "COM 3", "3" give 3; "COM", "COM3X" give 1: every "COM" is removed (any letter
// case), blanks and control characters trimmed, the rest read as an integer ($ and 0x hex too).
int32_t ComPortNumber(const std::string& ComPort);

// Whether ComPort names a port by its number ("COM3", "com 3", "COM", "3"): after blanks and
// control characters are trimmed it begins with "COM" (any letter case) or is a number. Then
// ComPortNumber gives the port and the device is /dev/ttyS<n-1>. Any other value names the
// device: an absolute path is the device itself (/dev/ttyUSB0, a pty), any other name is looked
// up under /dev ("ttyUSB0", "serial/by-id/usb-..."), so it never falls back to a port by number.
bool IsComPortNumber(const std::string& ComPort);
// The port's DeviceName (a format, so % signs are doubled) for a ComPort that names a device.
std::string ComPortDeviceName(const std::string& ComPort);
// The device file a ComPort value leads to.
std::string ComPortDevicePath(const std::string& ComPort);

// The named speed "br" + ComSpeed (br110 ... br256000); none for any other speed.
std::optional<TSerialBaudrate> BaudrateForSpeed(int32_t ComSpeed);

}  // namespace kestova
