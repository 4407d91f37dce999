#include "display/com_port_setup.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

TEST(ComPortSetupTest, PortNumbers) {
  const std::pair<const char*, int32_t> cases[] = {
      {"COM3", 3},  {"com3", 3}, {"COM 3", 3},    {"3", 3},      {"COM10", 10},   {"COM", 1},
      {"COM3X", 1}, {"", 1},     {"\tCOM7\n", 7}, {"COM$A", 10}, {"COM0x0B", 11}, {"CoMcom4", 4},
  };
  for (const auto& [text, number] : cases) EXPECT_EQ(ComPortNumber(text), number) << text;
}

TEST(ComPortSetupTest, NamedSpeedsOnly) {
  EXPECT_EQ(BaudrateForSpeed(19200), br19200);
  EXPECT_EQ(BaudrateForSpeed(9600), br9600);
  EXPECT_EQ(BaudrateForSpeed(256000), br256000);
  EXPECT_EQ(BaudrateForSpeed(31250), std::nullopt);
  EXPECT_EQ(BaudrateForSpeed(0), std::nullopt);
}

// Port numbers go to /dev/ttyS<n-1>; every other name is a device of its own, never ttyS0.
TEST(ComPortSetupTest, DevicePaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM3", "/dev/ttyS2"},
      {"com 3", "/dev/ttyS2"},
      {"3", "/dev/ttyS2"},
      {" COM10 ", "/dev/ttyS9"},
      {"COM", "/dev/ttyS0"},
      {"COM3X", "/dev/ttyS0"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/serial/by-id/usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00"},
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"ttyACM0", "/dev/ttyACM0"},
      {"USB0", "/dev/USB0"},
      {"serial/by-id/usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00"},
      {"ttyXYZ", "/dev/ttyXYZ"},
      {"tty%d", "/dev/tty%d"},
      {"", "/dev/"},
  };
  for (const auto& [text, path] : cases) EXPECT_EQ(ComPortDevicePath(text), path) << "ComPort=" << text;
}

}  // namespace
}  // namespace kestova
