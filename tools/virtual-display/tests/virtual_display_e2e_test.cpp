// The built kestova-virtual-display, run as a script would run it: its standard output is read
// through a pipe and frames are written to the pseudo-terminal path it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/deadline.h"
#include "platform/unique_fd.h"
#include "tests/support/child_process.h"

namespace kestova {
namespace {

using namespace std::chrono_literals;

// Generous: the machine may be loaded; these bound hangs, they do not time anything.
constexpr auto kLimit = 20s;

// The tool with its standard output and error read through one pipe.
class ToolProcess {
 public:
  explicit ToolProcess(const std::vector<std::string>& args) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    FOut = UniqueFd(ends[0]);
    UniqueFd writeEnd(ends[1]);  // the child's copy stays open; ours goes at once
    std::vector<std::string> argv = {KESTOVA_TEST_VIRTUAL_DISPLAY};
    argv.insert(argv.end(), args.begin(), args.end());
    FChild.emplace(argv, writeEnd.Get());
  }

  // Reads until `done` holds for what was read, or end of file, or the limit.
  bool ReadUntil(const std::function<bool(const std::string&)>& done) {
    const TDeadline deadline = TDeadline::After(kLimit);
    while (!done(Output)) {
      if (FEof || deadline.Expired()) return false;
      pollfd in{FOut.Get(), POLLIN, 0};
      if (::poll(&in, 1, deadline.PollTimeout()) <= 0) continue;
      char buffer[1024];
      const ssize_t n = ::read(FOut.Get(), buffer, sizeof buffer);
      if (n > 0)
        Output.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR)
        FEof = true;
    }
    return true;
  }
  bool ReadLine() {
    return ReadUntil([](const std::string& s) { return s.find('\n') != std::string::npos; });
  }
  // The first line: the pseudo-terminal's path.
  std::string Path() const { return Output.substr(0, Output.find('\n')); }

  // Exit status once everything is read; -1 when it did not end within the limit.
  int ExitStatus() {
    ReadUntil([](const std::string&) { return false; });
    return FChild->WaitFor(kLimit).value_or(-1);
  }
  void Terminate() { FChild->Signal(SIGTERM); }

  std::string Output;

 private:
  UniqueFd FOut;
  std::optional<test::TChildProcess> FChild;
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
  WriteTo(path,
          "\x0CRa\x9F"
          "un\n\r1.50 EUR\x0CSecond\n\rframe");
  EXPECT_EQ(tool.ExitStatus(), 0);
  EXPECT_EQ(tool.Output, path + "\nRačun\n1.50 EUR\n");
}

// Another command set, and a display that wraps, as the options choose them.
TEST(VirtualDisplayTest, OnceDecodesTheCommandSetOfItsOptions) {
  struct Case {
    std::vector<std::string> Args;
    std::string Bytes;
    std::string Lines;
  };
  const std::vector<Case> cases = {
      {{"--protocol", "epson"},
       "\x1B@\x0C\x1F$\x01\x01Ra\x9F"
       "un\x1F$\x01\x02"
       "1.50 EUR",
       "Račun\n1.50 EUR\n"},
      {{"--protocol=Logic-Controls"},
       std::string("\x1F\x11\x10\x00Total   ", 12) + "\x10\x14"
                                                     "12.50",
       "Total\n12.50\n"},
      {{"--protocol", "cd5220"},
       "\x1F$\x01\x01"
       "A",
       "·$··A\n\n"},  // the epson cursor command is unknown here
      {{"--protocol", "frame", "--wrap"},
       "\x0C"
       "ABCDEFGHIJKLMNOPQRST\n\rxyz",
       "xyzDEFGHIJKLMNOPQRST\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Args.front());
    std::vector<std::string> args = c.Args;
    args.push_back("--once");
    ToolProcess tool(args);
    ASSERT_TRUE(tool.ReadLine());
    const std::string path = tool.Path();
    WriteTo(path, c.Bytes);
    EXPECT_EQ(tool.ExitStatus(), 0);
    EXPECT_EQ(tool.Output, path + "\n" + c.Lines);
  }
}

// The server closes and reopens its port; the display must not hang up in between.
TEST(VirtualDisplayTest, AWriterClosingAndReopeningThePortLosesNothing) {
  ToolProcess tool({"--once"});
  ASSERT_TRUE(tool.ReadLine());
  const std::string path = tool.Path();
  WriteTo(path,
          "noise\x0C\x8F"
          "ao");
  WriteTo(path,
          "\n\r\xAC"
          "a\xE7\x86");
  EXPECT_EQ(tool.ExitStatus(), 0);
  EXPECT_EQ(tool.Output, path + "\nĆao\nČašć\n");
}

TEST(VirtualDisplayTest, OnceGivesUpAfterItsTimeout) {
  ToolProcess tool({"--once", "--timeout", "1"});
  EXPECT_EQ(tool.ExitStatus(), 1);
  EXPECT_TRUE(tool.Output.starts_with("/dev/pts/")) << tool.Output;
  EXPECT_EQ(tool.Output, tool.Path() + "\nkestova-virtual-display: no frame within 1 s\n");
}

TEST(VirtualDisplayTest, RedrawsTheBoxAfterEveryFrame) {
  ToolProcess tool({"--width", "8"});
  ASSERT_TRUE(tool.ReadUntil([](const std::string& s) { return s.find("└────────┘\n") != std::string::npos; }));
  const std::string path = tool.Path();
  EXPECT_EQ(tool.Output, path + "\n┌────────┐\n│        │\n│        │\n└────────┘\n");

  WriteTo(path,
          "\x0CRa\x9F"
          "un\n\r");
  ASSERT_TRUE(tool.ReadUntil([](const std::string& s) {
    return s.find("│Račun   │\n│        │\n") != std::string::npos;
  })) << tool.Output;
  WriteTo(path, "\x0C\n\rTotal 12.50 EUR");
  ASSERT_TRUE(tool.ReadUntil([](const std::string& s) {
    return s.find("│        │\n│Total 12│\n") != std::string::npos;
  })) << tool.Output;
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
      {{"--protocol", "escpos"}, "--protocol wants frame, epson, cd5220, logic-controls or aedex, not \"escpos\""},
      {{"--wrap=1"}, "unknown option \"--wrap=1\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Error);
    ToolProcess tool(c.Args);
    EXPECT_EQ(tool.ExitStatus(), 2);
    EXPECT_TRUE(tool.Output.starts_with("kestova-virtual-display: " + c.Error + "\n")) << tool.Output;
    EXPECT_NE(tool.Output.find("Usage:"), std::string::npos);
  }
}

}  // namespace
}  // namespace kestova
