#pragma once
// A tty descriptor's termios read and written as the kernel keeps it (TCGETS2 / TCSETS2, so any
// speed is exact), field for field as TSerialTermios. The kernel's definitions and <termios.h>
// cannot be included together, so only the .cpp sees the kernel's.
//
// Thread safety: plain system calls on the descriptor given.
#include "serial/serial_termios.h"

namespace kestova {

// 0 or an errno value.
int GetKernelTermios(int fd, TSerialTermios& t);
int SetKernelTermios(int fd, const TSerialTermios& t);

}  // namespace kestova
