// kestova-displayd: the display server without a window, for service boxes and service managers.
#include <cstdio>
#include <iostream>
#include <string>

#include "app/runtime/config_check_command.h"
#include "app/runtime/list_ports.h"
#include "app/runtime/server_options.h"
#include "app/runtime/server_startup.h"

int main(int argc, char** argv) {
  using namespace kestova;
  std::string error;
  const auto options = ParseServerOptions(argc, argv, /*allowHeadless=*/false, error);
  if (!options) {
    std::fprintf(stderr, "kestova-displayd: %s\n%s", error.c_str(), ServerUsage("kestova-displayd", false).c_str());
    return 2;
  }
  if (options->Help) {
    std::fputs(ServerUsage("kestova-displayd", false).c_str(), stdout);
    return 0;
  }
  if (options->ListPorts) return ListPorts(stdout);
  if (options->CheckConfig) return RunConfigCheck("kestova-displayd", options->SettingsFile, std::cout, std::cerr);
  return RunHeadless(options->SettingsFile, options->Service);
}
