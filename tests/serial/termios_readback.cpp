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

}  // namespace kestova::test
