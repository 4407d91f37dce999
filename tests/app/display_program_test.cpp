// The desktop program as a user starts it: with a window (Qt's offscreen platform here), and
// on a machine without a display server, where it falls back to running headless.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

class DisplayProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FBroker.Start();
    FSettings = FDir.WriteFile("Settings.ini", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\nPort=" +
                                                   std::to_string(FBroker.Port()) + "\nClientID=Display1\nTopics=t\n");
    FOutput = UniqueFd(open(FDir.File("out.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  }
  std::string Output() const {
    std::ifstream in(FDir.File("out.log"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The broker's log names every client that subscribed.
  bool WaitForSubscription(std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      if (FBroker.Log().find("Display1 0 t") != std::string::npos ||
          Output().find("Subscribing to \"t\": Accepted") != std::string::npos)
        return true;
      poll(nullptr, 0, 50);
    }
    return false;
  }

  static TBrokerOptions LoggingSubscriptions() {
    TBrokerOptions options;
    options.ExtraConfig = "log_type subscribe";
    return options;
  }
  TMosquittoBroker FBroker{LoggingSubscriptions()};
  TTempDir FDir{"kestova-display-program"};
  std::string FSettings;
  UniqueFd FOutput;
};

TEST_F(DisplayProgramTest, HelpNamesTheWindowlessMode) {
  const auto help = RunProgram({KESTOVA_DISPLAY_PROGRAM, "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Output.find("--headless"), std::string::npos) << help.Output;
  EXPECT_EQ(RunProgram({KESTOVA_DISPLAY_PROGRAM, "--nope"}).ExitCode, 2);
  // The port list needs no window: the same as kestova-displayd's.
  const auto ports = RunProgram({KESTOVA_DISPLAY_PROGRAM, "--list-ports"});
  EXPECT_EQ(ports.ExitCode, 0);
  EXPECT_EQ(ports.Output, RunProgram({KESTOVA_DISPLAYD_PROGRAM, "--list-ports"}).Output);
}

// The window program checks its settings like the headless one, before any window or display.
TEST_F(DisplayProgramTest, CheckConfigReportsProblemsWithoutAWindow) {
  unsetenv("DISPLAY");
  const std::string file =
      FDir.WriteFile("Check.ini", "[Settings]\nDisplayMode=2\nWidht=20\n[Mqtt]\nBroker=127.0.0.1\nTopics=t\n");
  const auto check = RunProgram({KESTOVA_DISPLAY_PROGRAM, "--check-config", "--settings", file});
  EXPECT_EQ(check.ExitCode, 1) << check.Output;
  EXPECT_NE(check.Output.find(file + ":3: unknown key Widht in [Settings], ignored (Width?)\n"), std::string::npos)
      << check.Output;
}

TEST_F(DisplayProgramTest, WithoutADisplayServerItSaysSoAndRunsHeadless) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("QT_QPA_PLATFORM");
  TChildProcess program({KESTOVA_DISPLAY_PROGRAM, "--settings", FSettings}, FOutput.Get());
  ASSERT_TRUE(WaitForSubscription()) << Output();
  EXPECT_NE(Output().find("kestova-display: no display server (DISPLAY is not set); running without a window"),
            std::string::npos)
      << Output();
  program.Signal(SIGTERM);
  EXPECT_TRUE(program.WaitFor(10s).has_value());
}

TEST_F(DisplayProgramTest, TheWindowRunsTheServerAndEndsCleanlyOnSigterm) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string tsan =
      std::string(getenv("TSAN_OPTIONS") ? getenv("TSAN_OPTIONS") : "") + ":suppressions=" KESTOVA_GUI_TSAN_QT;
  setenv("TSAN_OPTIONS", tsan.c_str(), 1);
  TChildProcess program({KESTOVA_DISPLAY_PROGRAM, "--settings", FSettings}, FOutput.Get());
  ASSERT_TRUE(WaitForSubscription()) << FBroker.Log();
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitFor(20s), 0) << Output();
}

}  // namespace
}  // namespace kestova::test
