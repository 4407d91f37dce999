#include "app/runtime/list_ports.h"

#include "serial/serial_port_list.h"

namespace kestova {

int ListPorts(std::FILE* out) {
  const std::vector<TSerialPortInfo> ports = ListSerialPorts();
  if (ports.empty()) std::fputs("no serial ports found\n", out);
  for (const TSerialPortInfo& port : ports) std::fprintf(out, "%s\n", DescribeSerialPort(port).c_str());
  return 0;
}

}  // namespace kestova
