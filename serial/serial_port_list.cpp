#include "serial/serial_port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/ascii_text.h"

namespace kestova {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without its line break; empty when there is none.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && IsBlankChar(line.back())) line.pop_back();
  return line;
}

// The last part of where the link `link` points to, or empty.
std::string LinkName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

// The driver of the port's device. Newer kernels put the serial core's own port and controller
// devices (bus serial-base) between the tty and the driver that found the UART.
std::string DriverOf(fs::path device) {
  while (device.has_relative_path() && LinkName(device / "subsystem") == "serial-base") device = device.parent_path();
  return LinkName(device / "driver");
}

// The USB device above the port, if any: the first ancestor with vendor and product ids.
void ReadUsbIds(fs::path device, TSerialPortInfo& port) {
  for (; device.has_relative_path(); device = device.parent_path()) {
    const std::string vendor = ReadAttribute(device / "idVendor");
    const std::string product = ReadAttribute(device / "idProduct");
    if (vendor.empty() || product.empty()) continue;
    port.UsbId = vendor + ":" + product;
    port.Serial = ReadAttribute(device / "serial");
    return;
  }
}

// ttyS2 before ttyS10: digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t ie = i, je = j;
      while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
      while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
      const std::string_view da = std::string_view(a).substr(i, ie - i);
      const std::string_view db = std::string_view(b).substr(j, je - j);
      const std::string_view ta = da.substr(std::min(da.find_first_not_of('0'), da.size()));
      const std::string_view tb = db.substr(std::min(db.find_first_not_of('0'), db.size()));
      if (ta.size() != tb.size()) return ta.size() < tb.size();
      if (ta != tb) return ta < tb;
      i = ie, j = je;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i, ++j;
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<TSerialPortInfo> ListSerialPorts(const TSerialPortRoots& roots) {
  std::vector<TSerialPortInfo> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(roots.ClassTty, ec)) {
    const fs::path tty = entry.path();
    const fs::path device = fs::canonical(tty / "device", ec);
    if (ec) continue;                                  // no device behind it: a virtual terminal
    if (ReadAttribute(tty / "type") == "0") continue;  // a slot without a UART
    TSerialPortInfo port;
    port.Device = roots.Dev + "/" + tty.filename().string();
    port.Driver = DriverOf(device);
    ReadUsbIds(device, port);
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return NaturalLess(a.Device, b.Device); });

  std::vector<fs::path> links;
  for (const auto& entry : fs::directory_iterator(roots.Dev + "/serial/by-id", ec)) links.push_back(entry.path());
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    const std::string name = LinkName(link);
    for (TSerialPortInfo& port : ports)
      if (port.ById.empty() && !name.empty() && fs::path(port.Device).filename() == name) port.ById = link.string();
  }
  return ports;
}

void SerialPortNames(const std::vector<TSerialPortInfo>& ports, TStringList& names) {
  names.Clear();
  for (const TSerialPortInfo& port : ports)
    if (names.IndexOf(port.Device) < 0) names.Add(port.Device);
  for (const TSerialPortInfo& port : ports)
    if (!port.ById.empty() && names.IndexOf(port.ById) < 0) names.Add(port.ById);
}

std::string DescribeSerialPort(const TSerialPortInfo& port) {
  std::string line = port.Device;
  const std::pair<const char*, const std::string*> fields[] = {
      {"by-id", &port.ById}, {"usb", &port.UsbId}, {"serial", &port.Serial}, {"driver", &port.Driver}};
  for (const auto& [name, value] : fields)
    if (!value->empty()) line += std::string(" ") + name + "=" + *value;
  return line;
}

}  // namespace kestova
