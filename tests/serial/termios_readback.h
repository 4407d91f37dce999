#pragma once
// What the kernel holds for a tty, read and set with TCGETS2/TCSETS2 independently of the
// port's own device layer. The flag values are the kernel's (include <asm/termbits.h> to name
// them).
#include "serial/serial_termios.h"

namespace kestova::test {

TSerialTermios ReadBackTermios(int fd);
// Sets the tty's termios as a device's configuration that the port reads back.
void WriteTermios(int fd, const TSerialTermios& t);

}  // namespace kestova::test
