#include "tools/virtual-display/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "platform/format.h"

namespace kestova {

namespace {
[[noreturn]] void Fail(const char* what) { throw Exception(Format("%s failed: %s", what, std::strerror(errno))); }
}  // namespace

TPseudoTerminal OpenPseudoTerminal() {
  TPseudoTerminal pty;
  pty.Master = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.Master) Fail("posix_openpt");
  if (::grantpt(pty.Master.Get()) != 0) Fail("grantpt");
  if (::unlockpt(pty.Master.Get()) != 0) Fail("unlockpt");
  char name[128];
  if (const int rc = ::ptsname_r(pty.Master.Get(), name, sizeof name); rc != 0) {
    errno = rc;
    Fail("ptsname_r");
  }
  pty.SlavePath = name;
  pty.Slave = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.Slave) Fail("opening the pseudo-terminal");

  termios mode{};
  if (::tcgetattr(pty.Slave.Get(), &mode) != 0) Fail("tcgetattr");
  ::cfmakeraw(&mode);
  if (::tcsetattr(pty.Slave.Get(), TCSANOW, &mode) != 0) Fail("tcsetattr");

  const int flags = ::fcntl(pty.Master.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(pty.Master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl");
  return pty;
}

}  // namespace kestova
