// The list of serial ports, read from a sysfs and /dev tree the test builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "serial/serial_comm.h"
#include "serial/serial_port_list.h"
#include "tests/support/temp_dir.h"

namespace kestova {
namespace {

namespace fs = std::filesystem;

// A machine with a PNP UART (serial core port and controller devices between the tty and its
// driver), two platform UART slots of which one has no UART, a second platform UART, an FTDI
// adapter with a by-id link, an Arduino on cdc_acm and a virtual console.
class SerialPortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Device("pnp0/00:00", "serial", "");
    Device("pnp0/00:00/00:00:0", "ctrl", "serial-base");
    Device("pnp0/00:00/00:00:0/00:00:0.0", "port", "serial-base");
    Tty("ttyS0", "pnp0/00:00/00:00:0/00:00:0.0", "4");
    Device("platform/serial8250", "serial8250", "");
    Tty("ttyS2", "platform/serial8250", "4");
    Tty("ttyS10", "platform/serial8250", "4");
    Tty("ttyS1", "platform/serial8250", "0");
    Device("usb1/1-1", "usb", "usb");
    Attribute("usb1/1-1/idVendor", "0403\n");
    Attribute("usb1/1-1/idProduct", "6001\n");
    Attribute("usb1/1-1/serial", "A50285BI\n");
    Device("usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio", "usb-serial");
    Tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "");
    Device("usb1/1-2", "usb", "usb");
    Attribute("usb1/1-2/idVendor", "2341\n");
    Attribute("usb1/1-2/idProduct", "0043\n");
    Device("usb1/1-2/1-2:1.0", "cdc_acm", "usb");
    Tty("ttyACM0", "usb1/1-2/1-2:1.0", "");
    fs::create_directories(FDir.File("class/tty/tty1"));  // no device behind it
    fs::create_directories(FDir.File("dev/serial/by-id"));
    fs::create_symlink("../../ttyUSB0", FDir.File("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
  }

  void Device(const std::string& path, const std::string& driver, const std::string& subsystem) {
    fs::create_directories(FDir.File("devices/" + path));
    fs::create_directories(FDir.File("drivers/" + driver));
    fs::create_symlink(FDir.File("drivers/" + driver), FDir.File("devices/" + path + "/driver"));
    if (subsystem.empty()) return;
    fs::create_directories(FDir.File("bus/" + subsystem));
    fs::create_symlink(FDir.File("bus/" + subsystem), FDir.File("devices/" + path + "/subsystem"));
  }
  void Attribute(const std::string& path, const std::string& value) { FDir.WriteFile("devices/" + path, value); }
  void Tty(const std::string& name, const std::string& device, const std::string& type) {
    fs::create_directories(FDir.File("class/tty/" + name));
    fs::create_symlink(FDir.File("devices/" + device), FDir.File("class/tty/" + name + "/device"));
    if (!type.empty()) FDir.WriteFile("class/tty/" + name + "/type", type + "\n");
  }

  TSerialPortRoots Roots() const { return {FDir.File("class/tty"), FDir.File("dev")}; }

  test::TTempDir FDir{"kestova-ports"};
};

TEST_F(SerialPortListTest, EveryPortWithItsDriverUsbIdsAndByIdName) {
  std::vector<std::string> lines;
  for (const TSerialPortInfo& port : ListSerialPorts(Roots())) lines.push_back(DescribeSerialPort(port));
  const std::string dev = FDir.File("dev");
  EXPECT_EQ(lines, (std::vector<std::string>{
                       dev + "/ttyACM0 usb=2341:0043 driver=cdc_acm",
                       dev + "/ttyS0 driver=serial",
                       dev + "/ttyS2 driver=serial8250",
                       dev + "/ttyS10 driver=serial8250",
                       dev + "/ttyUSB0 by-id=" + dev +
                           "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 usb=0403:6001 "
                           "serial=A50285BI driver=ftdi_sio",
                   }));
}

TEST_F(SerialPortListTest, NamesAreTheDevicesThenTheirLinksEachOnce) {
  std::vector<TSerialPortInfo> ports = ListSerialPorts(Roots());
  ports.push_back(ports.front());  // a port found twice is named once
  TStringList names;
  names.Add("left over");
  SerialPortNames(ports, names);
  const std::string dev = FDir.File("dev");
  EXPECT_EQ(names.Items(), (std::vector<std::string>{
                               dev + "/ttyACM0", dev + "/ttyS0", dev + "/ttyS2", dev + "/ttyS10", dev + "/ttyUSB0",
                               dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}));
  EXPECT_TRUE(ListSerialPorts({FDir.File("none"), FDir.File("none")}).empty());
}

TEST(SerialPortNames, ThisMachinesPortsAreDeviceFiles) {
  TSerialComm port;
  TStringList names;
  port.GetComPortNames(names);
  for (const std::string& name : names.Items()) EXPECT_EQ(name.rfind("/dev/", 0), 0u) << name;
  EXPECT_EQ(std::set<std::string>(names.Items().begin(), names.Items().end()).size(), names.Items().size());
}

}  // namespace
}  // namespace kestova
