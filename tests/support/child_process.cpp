#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/deadline.h"
#include "tests/support/support_error.h"

extern char** environ;

namespace kestova::test {

namespace {

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string text;
  for (const auto& arg : argv) {
    if (!text.empty()) text += ' ';
    text += arg;
  }
  return text;
}

int Decode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& argv, int outputFd) {
  if (argv.empty()) throw ETestSupportError("No program to start");
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outputFd >= 0) {
    ::posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    ::posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  const int rc = ::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    FPid = -1;
    throw ETestSupportError(Format("Could not start %s: %s", CommandLine(argv), std::strerror(rc)));
  }
  FPidFd.Reset(static_cast<int>(::syscall(SYS_pidfd_open, FPid, 0)));
  if (!FPidFd) {
    const int error = errno;
    ::kill(FPid, SIGKILL);
    int status = 0;
    ::waitpid(FPid, &status, 0);
    throw ETestSupportError(Format("pidfd_open failed for %s: %s", CommandLine(argv), std::strerror(error)));
  }
}

TChildProcess::TChildProcess(TChildProcess&& other) noexcept
    : FPid(std::exchange(other.FPid, -1)), FPidFd(std::move(other.FPidFd)), FStatus(other.FStatus) {}

TChildProcess::~TChildProcess() {
  if (Running()) {
    ::kill(FPid, SIGKILL);
    int status = 0;
    ::waitpid(FPid, &status, 0);
  }
}

void TChildProcess::Signal(int signal) {
  if (Running()) ::kill(FPid, signal);
}

std::optional<int> TChildProcess::WaitFor(std::chrono::milliseconds timeout) {
  if (FPid <= 0 || FStatus) return FStatus;
  const TDeadline deadline = TDeadline::After(timeout);
  pollfd fd{FPidFd.Get(), POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&fd, 1, deadline.PollTimeout());
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) throw ETestSupportError(Format("Waiting for process %d failed: %s", FPid, std::strerror(errno)));
    if (rc == 0) {
      if (deadline.Expired()) return std::nullopt;
      continue;
    }
    int status = 0;
    if (::waitpid(FPid, &status, 0) == FPid) FStatus = Decode(status);
    return FStatus;
  }
}

int TChildProcess::Stop(int signal, std::chrono::milliseconds grace) {
  if (!Running()) return FStatus.value_or(-1);
  Signal(signal);
  if (const auto status = WaitFor(grace)) return *status;
  Signal(SIGKILL);
  return WaitFor(std::chrono::seconds(30)).value_or(-1);
}

TProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw ETestSupportError(Format("pipe2 failed: %s", std::strerror(errno)));
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  const TDeadline deadline = TDeadline::After(timeout);
  TChildProcess child(argv, writeEnd.Get());
  writeEnd.Reset();  // the child holds the only writing end now: end of file when it exits

  TProgramResult result;
  pollfd fd{readEnd.Get(), POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&fd, 1, deadline.PollTimeout());
    if (rc < 0 && errno == EINTR) continue;
    if (rc == 0 && deadline.Expired()) {
      child.Stop(SIGKILL);
      throw ETestSupportError(Format("%s did not end within %d ms; it printed: %s", CommandLine(argv),
                                     static_cast<int>(timeout.count()), result.Output));
    }
    if (rc <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.Output.append(buffer, static_cast<std::size_t>(n));
  }
  const auto remaining =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline.When() - TDeadline::Clock::now());
  const auto status = child.WaitFor(std::max(remaining, std::chrono::milliseconds(1000)));
  if (!status) {
    child.Stop(SIGKILL);
    throw ETestSupportError(
        Format("%s did not end within %d ms", CommandLine(argv), static_cast<int>(timeout.count())));
  }
  result.ExitCode = *status;
  return result;
}

std::string RunProgramOrThrow(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  TProgramResult result = RunProgram(argv, timeout);
  if (result.ExitCode != 0)
    throw ETestSupportError(Format("%s failed with status %d: %s", CommandLine(argv), result.ExitCode, result.Output));
  return std::move(result.Output);
}

}  // namespace kestova::test
