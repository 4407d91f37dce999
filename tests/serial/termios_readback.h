#pragma once
// What the kernel holds for a tty, read and set on the descriptor the test holds, outside the
// port, so a test sees the kernel's state rather than what the port believes. The flag values are the kernel's (include
// <asm/termbits.h> to name them).
#include "serial/serial_termios.h"

namespace kestova::test {

TSerialTermios ReadBackTermios(int fd);
// Sets the tty's termios as a device's configuration that the port reads back.
void WriteTermios(int fd, const TSerialTermios& t);

}  // namespace kestova::test
