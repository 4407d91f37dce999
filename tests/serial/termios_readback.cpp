#include "termios_readback.h"

#include <stdexcept>

#include "serial/kernel_termios.h"

namespace kestova::test {

TSerialTermios ReadBackTermios(int fd) {
  TSerialTermios t;
  if (GetKernelTermios(fd, t) != 0) throw std::runtime_error("TCGETS2 failed");
  return t;
}

void WriteTermios(int fd, const TSerialTermios& t) {
  if (SetKernelTermios(fd, t) != 0) throw std::runtime_error("TCSETS2 failed");
}

}  // namespace kestova::test
