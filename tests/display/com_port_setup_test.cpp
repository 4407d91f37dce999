#include "display/com_port_setup.h"

#include <gtest/gtest.h>

namespace kestova {
namespace {

TEST(ComPortSetupTest, PortNumbers) {
  const std::pair<const char*, int32_t> cases[] = {
      {"COM3", 3}, {"com3", 3}, {"COM 3", 3}, {"3", 3}, {"COM10", 10}, {"COM", 1}, {"COM3X", 1},
      {"", 1},     {"\tCOM7\n", 7}, {"COM$A", 10}, {"COM0x0B", 11}, {"CoMcom4", 4},
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

TEST(ComPortSetupTest, DevicePaths) {
  EXPECT_TRUE(IsDevicePath("/dev/ttyUSB0"));
  EXPECT_TRUE(IsDevicePath("/dev/serial/by-id/usb-FTDI-if00"));
  EXPECT_FALSE(IsDevicePath("COM3"));
  EXPECT_FALSE(IsDevicePath("ttyUSB0"));
}

}  // namespace
}  // namespace kestova
