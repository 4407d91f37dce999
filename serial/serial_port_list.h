#pragma once
// The serial ports of this machine, as the kernel lists them: every tty of /sys/class/tty
// that belongs to a device (virtual consoles and pseudo terminals do not), except serial ports
// of type 0, which the serial core lists for every slot it has (ttyS1 ... ttyS31) whether a UART
// is there or not. Each port is named by its device file and, where udev made one, by its
// /dev/serial/by-id link, the name that stays the same when the adapter is plugged into
// another socket. Nothing is opened: only sysfs and the links are read.
//
// Thread safety: any thread.
#include <string>
#include <vector>

#include "platform/string_list.h"

namespace kestova {

struct TSerialPortInfo {
  std::string Device;  // /dev/ttyUSB0
  std::string ById;    // /dev/serial/by-id/usb-FTDI_..., empty when there is none
  std::string Driver;  // ftdi_sio, cdc_acm, serial8250, ...; empty when unknown
  std::string UsbId;   // vendor:product in hexadecimal ("0403:6001"), empty when not on USB
  std::string Serial;  // the USB serial number, empty when there is none
};

// Where the lists are read; tests point them at a tree of their own.
struct TSerialPortRoots {
  std::string ClassTty = "/sys/class/tty";
  std::string Dev = "/dev";
};

// The ports in natural order of their device names (ttyS2 before ttyS10).
std::vector<TSerialPortInfo> ListSerialPorts(const TSerialPortRoots& roots = {});

// Clears `names` and fills it with every port's device file, then every by-id link.
void SerialPortNames(const std::vector<TSerialPortInfo>& ports, TStringList& names);

// One line for an integrator: the device, then by-id=, usb=, serial= and driver= where known.
std::string DescribeSerialPort(const TSerialPortInfo& port);

}  // namespace kestova
