// Whether a ComPort's device can carry the display, judged by looking at it, never by opening it.
#include "display/serial_device_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "tests/serial/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {
namespace {

const std::string kConsole = "is a system console (kernel messages and logins go there), not a display";

// A sysfs tree whose console list names `name` with the device number of `path`.
std::string FakeSysfs(const TTempDir& dir, const std::string& name, const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  std::filesystem::create_directories(dir.File("sys/class/tty/console"));
  std::filesystem::create_directories(dir.File("sys/class/tty/" + name));
  dir.WriteFile("sys/class/tty/console/active", "tty0 " + name + "\n");
  dir.WriteFile("sys/class/tty/" + name + "/dev",
                std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev)) + "\n");
  return dir.File("sys");
}

TEST(SerialDeviceCheck, MissingPlainAndConsoleDevicesAreProblemsAPortIsNot) {
  const TTempDir dir;
  const TPtyPair pty;
  const std::string noConsoles = dir.File("no-sysfs");
  EXPECT_EQ(SerialDeviceProblem(pty.SlavePath(), noConsoles), "");
  EXPECT_EQ(SerialDeviceProblem(dir.File("ttyUSB9"), noConsoles), "does not exist");
  EXPECT_EQ(SerialDeviceProblem(dir.WriteFile("plain", ""), noConsoles), "is not a character device");
  // The kernel's console list, by device number: the same pty is a console once it is listed.
  EXPECT_EQ(SerialDeviceProblem(pty.SlavePath(), FakeSysfs(dir, "ttyFAKE0", pty.SlavePath())), kConsole);
}

// /dev/console and the virtual terminals are consoles by their numbers, whatever sysfs says.
// Device nodes of our own in the temporary folder stand for them; they are only looked at.
TEST(SerialDeviceCheck, TheConsoleAndVirtualTerminalsAreConsolesByTheirNumbers) {
  if (geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
  const TTempDir dir;
  const std::string console = dir.File("console"), tty1 = dir.File("tty1");
  ASSERT_EQ(mknod(console.c_str(), S_IFCHR | 0600, makedev(5, 1)), 0);
  ASSERT_EQ(mknod(tty1.c_str(), S_IFCHR | 0600, makedev(4, 1)), 0);
  EXPECT_EQ(SerialDeviceProblem(console, dir.File("no-sysfs")), kConsole);
  EXPECT_EQ(SerialDeviceProblem(tty1, dir.File("no-sysfs")), kConsole);
}

}  // namespace
}  // namespace kestova::test
