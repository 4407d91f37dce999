#include "termios_readback.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>
#include <stdexcept>

namespace kestova::test {

TSerialTermios ReadBackTermios(int fd) {
  termios2 k{};
  if (ioctl(fd, TCGETS2, &k) != 0) throw std::runtime_error("TCGETS2 failed");
  TSerialTermios t;
  t.c_iflag = k.c_iflag;
  t.c_oflag = k.c_oflag;
  t.c_cflag = k.c_cflag;
  t.c_lflag = k.c_lflag;
  std::memcpy(t.c_cc, k.c_cc, sizeof t.c_cc);
  t.c_ispeed = k.c_ispeed;
  t.c_ospeed = k.c_ospeed;
  return t;
}

void WriteTermios(int fd, const TSerialTermios& t) {
  termios2 k{};
  k.c_iflag = t.c_iflag;
  k.c_oflag = t.c_oflag;
  k.c_cflag = t.c_cflag;
  k.c_lflag = t.c_lflag;
  std::memcpy(k.c_cc, t.c_cc, sizeof t.c_cc);
  k.c_ispeed = t.c_ispeed;
  k.c_ospeed = t.c_ospeed;
  if (ioctl(fd, TCSETS2, &k) != 0) throw std::runtime_error("TCSETS2 failed");
}

}  // namespace kestova::test
