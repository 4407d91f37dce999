// kestova-packet: for integrators who debug what stations send. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kestova-packet/packet_tool.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = kestova::RunPacketTool(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : kestova::kExitFailed;
}
