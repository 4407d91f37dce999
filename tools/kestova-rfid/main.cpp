// kestova-rfid: drive one RFID door reader from the command line. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kestova-rfid/rfid_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = kestova::RunRfidTool(args, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : kestova::kRfidExitFailed;
}
