#pragma once
// The pseudo-terminal the virtual display listens on. The slave side is what the server opens as
// its serial port. Both sides are raw (no echo, no line editing, no output processing), and the
// virtual display keeps a slave descriptor of its own open, so the master does not see a hang-up
// when the server closes and reopens the port.
#include <string>

#include "platform/unique_fd.h"

namespace kestova {

struct TPseudoTerminal {
  UniqueFd Master;  // read by the virtual display; non-blocking
  UniqueFd Slave;   // held open, never read
  std::string SlavePath;
};

// Raises Exception with the system's reason when no pseudo-terminal can be made.
TPseudoTerminal OpenPseudoTerminal();

}  // namespace kestova
