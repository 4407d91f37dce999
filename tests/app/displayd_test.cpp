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
#include "tests/app/displayd_fixture.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

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

// A datagram socket standing in for systemd's notification socket.
class TNotifySocket {
 public:
  explicit TNotifySocket(const std::string& path) : FPath(path), FFd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    EXPECT_EQ(bind(FFd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  }
  const std::string& Path() const { return FPath; }
  // The next message, or empty when none came within `timeout`.
  std::string Receive(std::chrono::milliseconds timeout) {
    pollfd pfd{FFd.Get(), POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(timeout.count())) != 1) return {};
    char buf[256] = {};
    const ssize_t n = recv(FFd.Get(), buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
  }

 private:
  std::string FPath;
  UniqueFd FFd;
};

TEST_F(DisplaydTest, ServiceModeTellsTheManagerAndStopsCleanlyOnSigterm) {
  TNotifySocket notify(FDir.File("notify.sock"));
  setenv("NOTIFY_SOCKET", notify.Path().c_str(), 1);
  auto child = Start({"--service", "--settings", Settings("DisplayMode=2")});
  unsetenv("NOTIFY_SOCKET");
  EXPECT_EQ(notify.Receive(15s), "READY=1") << Output();

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

// Under a manager that watches it, the service pings from its main loop at half the watchdog
// interval, so every ping arrives well within the interval the manager enforces.
TEST_F(DisplaydTest, UnderAWatchdogThePingsComeAtHalfTheInterval) {
  constexpr std::chrono::milliseconds kWatchdog = 2s;
  constexpr std::chrono::milliseconds kPing = kWatchdog / 2;
  TNotifySocket notify(FDir.File("watchdog.sock"));
  setenv("NOTIFY_SOCKET", notify.Path().c_str(), 1);
  setenv("WATCHDOG_USEC", std::to_string(std::chrono::microseconds(kWatchdog).count()).c_str(), 1);
  auto child = Start({"--service", "--settings", Settings("DisplayMode=2")});
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  ASSERT_EQ(notify.Receive(15s), "READY=1") << Output();
  std::vector<std::chrono::steady_clock::time_point> pings;
  for (int i = 0; i < 4; ++i) {
    // Each within the interval the manager enforces, or it would restart the service.
    ASSERT_EQ(notify.Receive(kWatchdog), "WATCHDOG=1") << "ping " << i << "\n" << Output();
    pings.push_back(std::chrono::steady_clock::now());
  }
  // Not faster either: three intervals between the first and the last, less scheduling noise.
  EXPECT_GE(pings.back() - pings.front(), 3 * kPing * 8 / 10);
  child->Signal(SIGTERM);
  std::string last;
  while ((last = notify.Receive(10s)) == "WATCHDOG=1") {
  }
  EXPECT_EQ(last, "STOPPING=1");
  EXPECT_EQ(child->WaitFor(10s), 0) << Output();
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
    if (entry.path().filename().string().rfind("ttyS", 0) == 0)
      binds += "mount --bind " + plain + " " + entry.path().string() + " && ";
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

  const auto list = [&](const std::string& classTty) {
    return RunProgram({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                       "mount --bind " + classTty + " /sys/class/tty && mount --bind " + FDir.File("dev") +
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
