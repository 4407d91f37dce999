#pragma once
// A pseudo-terminal pair for the tests: the port opens the slave by its path, the test plays
// the device on the master.
#include <chrono>
#include <functional>
#include <string>

#include "platform/unique_fd.h"
#include "tests/support/main_thread_pump.h"

namespace kestova::test {

class TPtyPair {
 public:
  TPtyPair();  // throws std::runtime_error when no pty can be made

  int Master() const { return FMaster.Get(); }
  int Slave() const { return FSlave.Get(); }
  const std::string& SlavePath() const { return FSlavePath; }
  // Closes the master: the slave hangs up, as a device that is unplugged.
  void HangUp() { FMaster.Reset(); }

  void WriteMaster(const std::string& bytes);
  // Reads from the master until `count` bytes came or `timeout` passed, running the main
  // thread's tasks meanwhile (the port's threads report there).
  std::string ReadMaster(std::size_t count, std::chrono::milliseconds timeout);

 private:
  UniqueFd FMaster;
  UniqueFd FSlave;
  std::string FSlavePath;
};

// The port threads (named serial-event, serial-write) of this process right now.
int SerialThreadCount();

}  // namespace kestova::test
