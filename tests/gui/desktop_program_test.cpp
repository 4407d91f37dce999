// The desktop program's window half as a whole process: the display probe that decides between
// window and headless, and the window program ending when its window is closed, on the
// offscreen platform and, where Xvfb is installed, on a real X server.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/gui/display_probe.h"
#include "platform/exception.h"
#include "platform/format.h"
#include "platform/unique_fd.h"
#include "tests/support/child_process.h"

namespace kestova {
namespace {

using test::RunProgram;
using test::TChildProcess;

// Sets environment variables for one scope (unset when the value is null) and puts them back.
class TScopedEnv {
 public:
  TScopedEnv(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      FSaved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      value ? setenv(name, value, 1) : unsetenv(name);
    }
  }
  ~TScopedEnv() {
    for (const auto& [name, value] : FSaved) value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

// Options for a sanitizer build's child process, with `extra` appended (empty when unset).
std::string SanitizerOptions(const char* name, const std::string& extra) {
  const char* current = std::getenv(name);
  return std::string(current ? current : "") + extra;
}

const std::string kTsanQt = SanitizerOptions("TSAN_OPTIONS", ":suppressions=" KESTOVA_GUI_TSAN_QT);

// An X display number nobody listens on (no X11 socket of that number is open).
std::string UnusedDisplay() {
  std::ifstream sockets("/proc/net/unix");
  const std::string all((std::istreambuf_iterator<char>(sockets)), std::istreambuf_iterator<char>());
  for (int n = 97;; ++n)
    if (all.find(Format("X11-unix/X%d\n", n)) == std::string::npos &&
        access(Format("/tmp/.X11-unix/X%d", n).c_str(), F_OK) != 0)
      return Format(":%d", n);
}

// A virtual X server of our own, on the display number it picks; stopped at the end.
class TVirtualXServer {
 public:
  static bool Installed() { return access("/usr/bin/Xvfb", X_OK) == 0; }

  TVirtualXServer() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw Exception("pipe2 failed");
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    // -displayfd 1: the server prints its display number on standard output once it listens.
    // -noreset: an X server resets when its last client leaves, and a client connecting during
    // the reset (the program right after the display probe) is refused.
    FServer.emplace(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                                             "-screen", "0", "640x640x24"},
                    writeEnd.Get());
    writeEnd = UniqueFd();
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = output.substr(start, end - start);
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
          FDisplay = ":" + line;
          return;
        }
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd readable{readEnd.Get(), POLLIN, 0};
      if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
        throw Exception("Xvfb did not report its display: " + output);
      char buffer[256];
      const ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
      if (n <= 0) throw Exception("Xvfb ended: " + output);
      output.append(buffer, static_cast<std::size_t>(n));
    }
  }

  const std::string& Display() const { return FDisplay; }

 private:
  std::optional<TChildProcess> FServer;
  std::string FDisplay;
};

TEST(DesktopProgramTest, DisplayProbeTellsWhyThereIsNoWindow) {
  const std::string unused = UnusedDisplay();
  struct Case {
    const char* platform;
    const char* display;
    bool available;
    std::string why;
  };
  const Case cases[] = {
      {nullptr, nullptr, false, "no display server (DISPLAY is not set)"},
      {"", "", false, "no display server (DISPLAY is not set)"},
      {"xcb", nullptr, false, "no display server (DISPLAY is not set)"},
      {nullptr, unused.c_str(), false, "cannot open display \"" + unused + "\""},
      {"xcb", unused.c_str(), false, "cannot open display \"" + unused + "\""},
      {"offscreen", nullptr, true, ""},
      {"vnc", unused.c_str(), true, ""},
  };
  for (const Case& c : cases) {
    TScopedEnv env{{"QT_QPA_PLATFORM", c.platform}, {"DISPLAY", c.display}};
    std::string why;
    EXPECT_EQ(DisplayAvailable(why), c.available)
        << (c.platform ? c.platform : "-") << " " << (c.display ? c.display : "-");
    EXPECT_EQ(why, c.why);
  }
}

TEST(DesktopProgramTest, WindowProgramEndsWhenItsWindowCloses) {
  TScopedEnv env{{"QT_QPA_PLATFORM", "offscreen"}, {"TSAN_OPTIONS", kTsanQt.c_str()}};
  const auto started = std::chrono::steady_clock::now();
  const auto result = RunProgram({KESTOVA_GUI_DEMO, "--quit-after", "1"}, std::chrono::seconds(60));
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)) << result.Output;
}

TEST(DesktopProgramTest, WithoutADisplayTheWindowProgramSaysSo) {
  TScopedEnv env{{"QT_QPA_PLATFORM", nullptr}, {"DISPLAY", nullptr}};
  const auto result = RunProgram({KESTOVA_GUI_DEMO});
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_NE(result.Output.find("no display server (DISPLAY is not set)"), std::string::npos) << result.Output;
}

TEST(DesktopProgramTest, OnARealXServerTheWindowShowsAndCloses) {
  if (!TVirtualXServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/screenshot.sh installs it)";
  TVirtualXServer x;
  // For this child on X only, two more allowances for the sanitizer builds (they change nothing
  // otherwise): libxkbcommon-x11 hands strndup a buffer shorter than the limit but terminated in
  // time, which strict string checks read to the limit and call an overflow; and libdbus keeps
  // a buffer until exit (tests/gui/lsan_x11.supp).
  const std::string asanOptions = SanitizerOptions("ASAN_OPTIONS", ":strict_string_checks=0");
  const std::string lsanOptions = SanitizerOptions("LSAN_OPTIONS", ":suppressions=" KESTOVA_GUI_LSAN_X11);
  TScopedEnv env{{"QT_QPA_PLATFORM", "xcb"},
                 {"DISPLAY", x.Display().c_str()},
                 {"DBUS_SESSION_BUS_ADDRESS", nullptr},
                 {"ASAN_OPTIONS", asanOptions.c_str()},
                 {"LSAN_OPTIONS", lsanOptions.c_str()},
                 {"TSAN_OPTIONS", kTsanQt.c_str()}};
  std::string why;
  EXPECT_TRUE(DisplayAvailable(why)) << why;
  const auto result = RunProgram({KESTOVA_GUI_DEMO, "--quit-after", "1"}, std::chrono::seconds(60));
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
}

TEST(DesktopProgramSignalTest, SigtermEndsTheWindowProgramLikeClosingIt) {
  TScopedEnv env{{"QT_QPA_PLATFORM", "offscreen"}, {"TSAN_OPTIONS", kTsanQt.c_str()}};
  TChildProcess demo({KESTOVA_GUI_DEMO});
  // Whether the signal arrives before or after the window is up, the program must end cleanly.
  EXPECT_FALSE(demo.WaitFor(std::chrono::milliseconds(1500)).has_value()) << "the demo ended by itself";
  demo.Signal(SIGTERM);
  EXPECT_EQ(demo.WaitFor(std::chrono::seconds(20)), 0);
}

}  // namespace
}  // namespace kestova
