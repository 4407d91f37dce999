// The headless program as an integrator runs it: options, log format, service-manager side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

class DisplaydTest : public ::testing::Test {
 protected:
  void SetUp() override { FBroker.Start(); }

  std::string Settings(const std::string& settingsSection) {
    return FDir.WriteFile("Settings.ini", "[Settings]\n" + settingsSection + "\n[Mqtt]\nBroker=127.0.0.1\nPort=" +
                                              std::to_string(FBroker.Port()) + "\nClientID=Display1\nTopics=t\n");
  }

  // Starts the program with its output going to a file in the temporary folder.
  std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& args, const std::string& program = KESTOVA_DISPLAYD) {
    FOutput = UniqueFd(open(FDir.File("out.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<TChildProcess>(argv, FOutput.Get());
  }

  std::string Output() const {
    std::ifstream in(FDir.File("out.log"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = 15s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      if (Output().find(text) != std::string::npos) return true;
      poll(nullptr, 0, 20);
    }
    return false;
  }

  TMosquittoBroker FBroker;
  TTempDir FDir{"kestova-displayd"};
  UniqueFd FOutput;
};

TEST_F(DisplaydTest, HelpAndBadUsage) {
  const auto help = RunProgram({KESTOVA_DISPLAYD, "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Output.find("--settings FILE"), std::string::npos);
  EXPECT_NE(help.Output.find("--list-ports"), std::string::npos);
  const auto bad = RunProgram({KESTOVA_DISPLAYD, "--bogus"});
  EXPECT_EQ(bad.ExitCode, 2);
  EXPECT_NE(bad.Output.find("unknown option: --bogus"), std::string::npos);
  EXPECT_NE(bad.Output.find("usage: kestova-displayd"), std::string::npos);
  EXPECT_EQ(RunProgram({KESTOVA_DISPLAYD, "--settings"}).ExitCode, 2);
}

TEST_F(DisplaydTest, ServiceModeTellsTheManagerAndStopsCleanlyOnSigterm) {
  // A datagram socket standing in for systemd's notification socket.
  const std::string socketPath = FDir.File("notify.sock");
  UniqueFd notify(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(bind(notify.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  setenv("NOTIFY_SOCKET", socketPath.c_str(), 1);
  auto child = Start({"--service", "--settings", Settings("DisplayMode=2")});
  unsetenv("NOTIFY_SOCKET");

  pollfd pfd{notify.Get(), POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 15000), 1) << Output();
  char buf[64] = {};
  ASSERT_GT(recv(notify.Get(), buf, sizeof buf - 1, 0), 0);
  EXPECT_STREQ(buf, "READY=1");

  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted")) << Output();
  child->Signal(SIGTERM);
  EXPECT_EQ(child->WaitFor(10s), 0) << Output();
  const std::string out = Output();
  const auto stopping = out.find(": Service stopping...\n");
  const auto stopped = out.find(": Service stopped\n");
  ASSERT_NE(stopping, std::string::npos) << out;
  ASSERT_NE(stopped, std::string::npos) << out;
  EXPECT_LT(stopping, stopped);
  // Every line carries the window's timestamp.
  std::istringstream lines(out);
  const std::regex format(R"(\d{4}-\d{2}-\d{2} \d{2}\.\d{2}\.\d{2}: .*)");
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_match(line, format)) << line;
}

TEST_F(DisplaydTest, WithoutServiceModeASignalEndsItWithoutTheStopHandler) {
  auto child = Start({"--settings", Settings("DisplayMode=2")});
  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted")) << Output();
  child->Signal(SIGINT);
  EXPECT_EQ(child->WaitFor(10s), 128 + SIGINT);
  EXPECT_EQ(Output().find("Service stopping..."), std::string::npos);
}

TEST_F(DisplaydTest, AMissingUsbLibraryIsLoggedAndTheServerRunsOn) {
  // A copy of the program in a folder without the library beside it.
  const std::string lonely = FDir.File("kestova-displayd");
  std::filesystem::copy_file(KESTOVA_DISPLAYD, lonely);
  auto child = Start({"--settings", Settings("DisplayMode=1")}, lonely);
  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted")) << Output();
  const std::string out = Output();
  const auto loading = out.find(": Loading DLL: " + FDir.Path() + "/libusbpd.so\n");
  const auto failed = out.find(": DLL not started!\n");
  ASSERT_NE(loading, std::string::npos) << out;
  ASSERT_NE(failed, std::string::npos) << out;
  EXPECT_NE(out.find("No such file or directory", failed), std::string::npos) << out;
  child->Signal(SIGTERM);
  EXPECT_TRUE(child->WaitFor(10s).has_value());
}

// A ComPort that names no device is looked up under /dev and reported with the path tried; it
// never falls back to the first serial port. The program runs where every /dev/ttyS* is a plain
// file, so a mistake could not reach the console that the first serial port often is.
TEST_F(DisplaydTest, AComPortNamingNoDeviceNeverOpensTheFirstSerialPort) {
  if (geteuid() != 0) GTEST_SKIP() << "a mount namespace needs root";
  const std::string plain = FDir.WriteFile("not-a-serial-port", "");
  std::string binds;
  for (const auto& entry : std::filesystem::directory_iterator("/dev"))
    if (entry.path().filename().string().rfind("ttyS", 0) == 0) binds += "mount --bind " + plain + " " + entry.path().string() + " && ";
  auto child = Start({"--mount", "--propagation", "private", "/bin/sh", "-c",
                      binds + "exec " + KESTOVA_DISPLAYD + " --settings " + Settings("ComPort=ttyXYZ")},
                     "/usr/bin/unshare");
  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted")) << Output();
  RunProgramOrThrow({"/usr/bin/mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(FBroker.Port()), "-t", "t", "-m",
                     "<msg><sender>P</sender><target>Display1</target><command>SHOW_MESSAGE</command>"
                     "<params>LINE1=x</params></msg>"});
  EXPECT_TRUE(WaitForOutput(": (Mqtt OnMsg): Specified device not found (/dev/ttyXYZ).\n")) << Output();
  EXPECT_EQ(Output().find("ttyS"), std::string::npos) << Output();
  child->Signal(SIGTERM);
  EXPECT_TRUE(child->WaitFor(10s).has_value());
}

TEST_F(DisplaydTest, ListPortsPrintsALinePerPortAndEndsWithZero) {
  const auto result = RunProgram({KESTOVA_DISPLAYD, "--list-ports"});
  EXPECT_EQ(result.ExitCode, 0);
  std::istringstream lines(result.Output);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line.rfind("/dev/", 0) == 0 || result.Output == "no serial ports found\n") << result.Output;
  EXPECT_FALSE(result.Output.empty());
}

// The same where the kernel lists a known machine: an FTDI adapter with its by-id link, and
// nothing at all. Its sysfs and /dev are folders of the test, bound over the real ones in a
// mount namespace of the program's own.
TEST_F(DisplaydTest, ListPortsShowsEachPortsNamesIdsAndDriver) {
  if (geteuid() != 0) GTEST_SKIP() << "a mount namespace needs root";
  namespace fs = std::filesystem;
  const std::string usb = FDir.File("devices/usb1/1-1");
  fs::create_directories(usb + "/1-1:1.0/ttyUSB0");
  fs::create_directories(FDir.File("drivers/ftdi_sio"));
  fs::create_symlink(FDir.File("drivers/ftdi_sio"), usb + "/1-1:1.0/ttyUSB0/driver");
  FDir.WriteFile("devices/usb1/1-1/idVendor", "0403\n");
  FDir.WriteFile("devices/usb1/1-1/idProduct", "6001\n");
  FDir.WriteFile("devices/usb1/1-1/serial", "A5028\n");
  fs::create_directories(FDir.File("class-tty/ttyUSB0"));
  fs::create_symlink(usb + "/1-1:1.0/ttyUSB0", FDir.File("class-tty/ttyUSB0/device"));
  fs::create_directories(FDir.File("empty"));
  fs::create_directories(FDir.File("dev/serial/by-id"));
  fs::create_symlink("../../ttyUSB0", FDir.File("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5028-if00-port0"));

  const auto list = [&](const std::string& class_tty) {
    return RunProgram({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                       "mount --bind " + class_tty + " /sys/class/tty && mount --bind " + FDir.File("dev") +
                           " /dev && exec " + KESTOVA_DISPLAYD + " --list-ports"});
  };
  const auto one = list(FDir.File("class-tty"));
  EXPECT_EQ(one.ExitCode, 0);
  EXPECT_EQ(one.Output,
            "/dev/ttyUSB0 by-id=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5028-if00-port0 usb=0403:6001 "
            "serial=A5028 driver=ftdi_sio\n");
  const auto none = list(FDir.File("empty"));
  EXPECT_EQ(none.ExitCode, 0);
  EXPECT_EQ(none.Output, "no serial ports found\n");
}

}  // namespace
}  // namespace kestova::test
