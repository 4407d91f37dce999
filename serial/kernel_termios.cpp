#include "serial/kernel_termios.h"

// The kernel's termios2; <termios.h> must not be included in this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace kestova {

int GetKernelTermios(int fd, TSerialTermios& t) {
  termios2 k{};
  if (ioctl(fd, TCGETS2, &k) != 0) return errno;
  t.c_iflag = k.c_iflag;
  t.c_oflag = k.c_oflag;
  t.c_cflag = k.c_cflag;
  t.c_lflag = k.c_lflag;
  t.c_line = k.c_line;
  std::memcpy(t.c_cc, k.c_cc, sizeof t.c_cc);
  t.c_ispeed = k.c_ispeed;
  t.c_ospeed = k.c_ospeed;
  return 0;
}

int SetKernelTermios(int fd, const TSerialTermios& t) {
  termios2 k{};
  k.c_iflag = t.c_iflag;
  k.c_oflag = t.c_oflag;
  k.c_cflag = t.c_cflag;
  k.c_lflag = t.c_lflag;
  k.c_line = t.c_line;
  std::memcpy(k.c_cc, t.c_cc, sizeof k.c_cc);
  k.c_ispeed = t.c_ispeed;
  k.c_ospeed = t.c_ospeed;
  return ioctl(fd, TCSETS2, &k) != 0 ? errno : 0;
}

}  // namespace kestova
