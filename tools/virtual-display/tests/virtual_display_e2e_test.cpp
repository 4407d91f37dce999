// The built kestova-virtual-display, run as a script would run it: its standard output is read
// through a pipe and frames are written to the pseudo-terminal path it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

extern char** environ;

namespace kestova {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous: the machine may be loaded; these bound hangs, they do not time anything.
constexpr auto kLimit = 20s;

class ToolProcess {
 public:
  explicit ToolProcess(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0)
      ADD_FAILURE() << "pipe2: " << errno;
    UniqueFd writeEnd(out[1]);
    UniqueFd errorWriteEnd(err[1]);
    FOut = UniqueFd(out[0]);
    FErr = UniqueFd(err[0]);
    std::vector<std::string> argvText = {KESTOVA_TEST_VIRTUAL_DISPLAY};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorWriteEnd.Get(), STDERR_FILENO);
    const int rc = posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      FPid = -1;
      ADD_FAILURE() << "posix_spawn: " << rc;
    }
  }
  ~ToolProcess() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }

  // Reads standard output until `done` holds for what was read, or end of file, or the limit.
  bool ReadUntil(const std::function<bool(const std::string&)>& done) {
    const auto deadline = Clock::now() + kLimit;
    while (!done(Output)) {
      if (FEof) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left <= 0ms) return false;
      pollfd in{FOut.Get(), POLLIN, 0};
      if (::poll(&in, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[1024];
      const ssize_t n = ::read(FOut.Get(), buffer, sizeof buffer);
      if (n > 0) Output.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR) FEof = true;
    }
    return true;
  }
  bool ReadLine() {
    return ReadUntil([](const std::string& s) { return s.find('\n') != std::string::npos; });
  }
  bool ReadToEnd() {
    ReadUntil([](const std::string&) { return false; });
    return FEof;
  }
  // The first line: the pseudo-terminal's path.
  std::string Path() const { return Output.substr(0, Output.find('\n')); }

  // Exit status once standard output has ended (the process is gone or going).
  int ExitStatus() {
    if (!ReadToEnd()) return -1;
    int status = 0;
    if (::waitpid(std::exchange(FPid, -1), &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Terminate() const { ::kill(FPid, SIGTERM); }
  // What the process wrote to standard error (read after it ended; the pipe holds it).
  std::string Errors() const {
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = ::read(FErr.Get(), buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }

  std::string Output;

 private:
  pid_t FPid = -1;
  UniqueFd FOut;
  UniqueFd FErr;
  bool FEof = false;
};

void WriteTo(const std::string& path, const std::string& bytes) {
  UniqueFd tty(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(tty) << path << ": " << errno;
  ASSERT_EQ(::write(tty.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ASSERT_EQ(tty.Close(), 0);
}

TEST(VirtualDisplayTest, OncePrintsTheFirstFrameDecoded) {
  ToolProcess tool({"--once"});
  ASSERT_TRUE(tool.ReadLine());
  const std::string path = tool.Path();
  ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
  WriteTo(path, "\x0CRa\x9F" "un\n\r1.50 EUR\x0CSecond\n\rframe");
  EXPECT_EQ(tool.ExitStatus(), 0);
  EXPECT_EQ(tool.Output, path + "\nRačun\n1.50 EUR\n");
}

// The server closes and reopens its port; the display must not hang up in between.
TEST(VirtualDisplayTest, AWriterClosingAndReopeningThePortLosesNothing) {
  ToolProcess tool({"--once"});
  ASSERT_TRUE(tool.ReadLine());
  const std::string path = tool.Path();
  WriteTo(path, "noise\x0C\x8F" "ao");
  WriteTo(path, "\n\r\xAC" "a\xE7\x86");
  EXPECT_EQ(tool.ExitStatus(), 0);
  EXPECT_EQ(tool.Output, path + "\nĆao\nČašć\n");
}

TEST(VirtualDisplayTest, OnceGivesUpAfterItsTimeout) {
  ToolProcess tool({"--once", "--timeout", "1"});
  EXPECT_EQ(tool.ExitStatus(), 1);
  EXPECT_TRUE(tool.Output.starts_with("/dev/pts/")) << tool.Output;
  EXPECT_EQ(tool.Output.find('\n'), tool.Output.size() - 1);  // the path line only
  EXPECT_EQ(tool.Errors(), "kestova-virtual-display: no frame within 1 s\n");
}

TEST(VirtualDisplayTest, RedrawsTheBoxAfterEveryFrame) {
  ToolProcess tool({"--width", "8"});
  ASSERT_TRUE(tool.ReadUntil([](const std::string& s) { return s.find("└────────┘\n") != std::string::npos; }));
  const std::string path = tool.Path();
  EXPECT_EQ(tool.Output, path + "\n┌────────┐\n│        │\n│        │\n└────────┘\n");

  WriteTo(path, "\x0CRa\x9F" "un\n\r");
  ASSERT_TRUE(tool.ReadUntil([](const std::string& s) { return s.find("│Račun   │\n│        │\n") != std::string::npos; }))
      << tool.Output;
  WriteTo(path, "\x0C\n\rTotal 12.50 EUR");
  ASSERT_TRUE(tool.ReadUntil([](const std::string& s) { return s.find("│        │\n│Total 12│\n") != std::string::npos; }))
      << tool.Output;
  tool.Terminate();
  EXPECT_EQ(tool.ExitStatus(), 128 + SIGTERM);
}

TEST(VirtualDisplayTest, BadOptionsExitWithStatusTwo) {
  struct Case {
    std::vector<std::string> Args;
    std::string Error;
  };
  const std::vector<Case> cases = {
      {{"--bogus"}, "unknown option \"--bogus\""},
      {{"--width", "0"}, "--width wants a whole number from 1 to 200, not \"0\""},
      {{"--width=x"}, "--width wants a whole number from 1 to 200, not \"x\""},
      {{"--width"}, "--width needs a value"},
      {{"--timeout", "1"}, "--timeout goes with --once"},
      {{"--once=yes"}, "unknown option \"--once=yes\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Error);
    ToolProcess tool(c.Args);
    EXPECT_EQ(tool.ExitStatus(), 2);
    EXPECT_EQ(tool.Output, "");
    const std::string errors = tool.Errors();
    EXPECT_TRUE(errors.starts_with("kestova-virtual-display: " + c.Error + "\n")) << errors;
    EXPECT_NE(errors.find("Usage:"), std::string::npos);
  }
}

}  // namespace
}  // namespace kestova
