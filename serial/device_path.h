#pragma once
// Which device file a port opens.
#include <string>

#include "serial/serial_types.h"

namespace kestova {

// `deviceName` formatted with `portNum` when it holds a placeholder ("COM%d" with 3 gives
// COM3), then: "COM<n>" (any letter case, n >= 1) is the n-th serial port, /dev/ttyS<n-1>; an
// absolute path is the device itself; any other name is taken from /dev ("ttyUSB0").
std::string SerialDevicePath(const std::string& deviceName, TSerialPortInt portNum);

}  // namespace kestova
