#pragma once
// --list-ports: the serial ports of this machine for whoever writes Settings.ini, one line
// each (the device, its /dev/serial/by-id name, USB vendor:product, serial number, driver),
// or "no serial ports found".
#include <cstdio>

namespace kestova {

// Prints the list to `out`; returns the program's exit status (0).
int ListPorts(std::FILE* out);

}  // namespace kestova
