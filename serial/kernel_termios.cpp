#include "serial/kernel_termios.h"

// The kernel's termios2; <termios.h> must not be included in this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace kestova {

namespace {

// TSerialTermios mirrors termios2 field for field; one copy serves both directions.
template <typename From, typename To>
void CopyTermiosFields(const From& from, To& to) {
  to.c_iflag = from.c_iflag;
  to.c_oflag = from.c_oflag;
  to.c_cflag = from.c_cflag;
  to.c_lflag = from.c_lflag;
  to.c_line = from.c_line;
  static_assert(sizeof to.c_cc == sizeof from.c_cc);
  std::memcpy(to.c_cc, from.c_cc, sizeof to.c_cc);
  to.c_ispeed = from.c_ispeed;
  to.c_ospeed = from.c_ospeed;
}

}  // namespace

int GetKernelTermios(int fd, TSerialTermios& t) {
  termios2 k{};
  if (ioctl(fd, TCGETS2, &k) != 0) return errno;
  CopyTermiosFields(k, t);
  return 0;
}

int SetKernelTermios(int fd, const TSerialTermios& t) {
  termios2 k{};
  CopyTermiosFields(t, k);
  return ioctl(fd, TCSETS2, &k) != 0 ? errno : 0;
}

}  // namespace kestova
