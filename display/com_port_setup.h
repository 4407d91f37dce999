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

// A ComPort that is an absolute path names the device itself (a USB adapter, a pty).
bool IsDevicePath(const std::string& ComPort);

// The named speed "br" + ComSpeed (br110 ... br256000); none for any other speed.
std::optional<TSerialBaudrate> BaudrateForSpeed(int32_t ComSpeed);

}  // namespace kestova
