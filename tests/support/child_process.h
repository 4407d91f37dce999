#pragma once
// Child processes for tests: a broker or a command-line client started by path, waited for
// with a time limit (a pidfd polled, no sleeping), and never left behind.
//
// Thread safety: one thread uses an object at a time.
#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace kestova::test {

class TChildProcess {
 public:
  // Start argv[0] (a path) with the arguments `argv`. Standard input reads /dev/null; standard
  // output and error go to `outputFd`, or to /dev/null when it is -1.
  explicit TChildProcess(const std::vector<std::string>& argv, int outputFd = -1);
  // A child still running is killed and reaped.
  ~TChildProcess();
  TChildProcess(TChildProcess&& other) noexcept;
  TChildProcess& operator=(TChildProcess&&) = delete;
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  pid_t Pid() const noexcept { return FPid; }
  bool Running() const noexcept { return FPid > 0 && !FStatus; }
  void Signal(int signal);
  // Wait until the child has ended: its exit status, or 128 + the number of the signal that
  // ended it; nothing when the time passed first.
  std::optional<int> WaitFor(std::chrono::milliseconds timeout);
  // Send `signal`, wait up to `grace`, then kill it; returns how it ended.
  int Stop(int signal = SIGTERM, std::chrono::milliseconds grace = std::chrono::seconds(10));

 private:
  pid_t FPid = -1;
  UniqueFd FPidFd;
  std::optional<int> FStatus;
};

struct TProgramResult {
  int ExitCode = -1;
  std::string Output;  // standard output and error, interleaved
};

// Run a program to its end and collect what it printed; ETestSupportError when it does not
// end within `timeout` (it is killed then).
TProgramResult RunProgram(const std::vector<std::string>& argv,
                          std::chrono::milliseconds timeout = std::chrono::seconds(60));
// As RunProgram, but a non-zero exit status is an ETestSupportError carrying the output.
std::string RunProgramOrThrow(const std::vector<std::string>& argv,
                              std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace kestova::test
