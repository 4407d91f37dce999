#pragma once
// What the kernel holds for a tty, read with TCGETS2 independently of the port's own device
// layer. The flag values are the kernel's (include <asm/termbits.h> to name them).
#include "serial/serial_termios.h"

namespace kestova::test {

TSerialTermios ReadBackTermios(int fd);

}  // namespace kestova::test
