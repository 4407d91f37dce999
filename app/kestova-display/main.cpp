// kestova-display: the display server with its window and tray icon. It shares the start-up and
// the options of kestova-displayd; --headless (or --service, which a service manager runs
// without a display) runs it exactly like kestova-displayd, and so does a machine without a
// display server, after saying so on standard error.
#include <cstdio>
#include <iostream>
#include <string>

#include "app/gui/desktop_app.h"
#include "app/gui/display_probe.h"
#include "app/runtime/config_check_command.h"
#include "app/runtime/list_ports.h"
#include "app/runtime/server_options.h"
#include "app/runtime/server_startup.h"
#include "platform/main_thread.h"

int main(int argc, char** argv) {
  using namespace kestova;
  std::string error;
  const auto options = ParseServerOptions(argc, argv, /*allowHeadless=*/true, error);
  if (!options) {
    std::fprintf(stderr, "kestova-display: %s\n%s", error.c_str(), ServerUsage("kestova-display", true).c_str());
    return 2;
  }
  if (options->Help) {
    std::fputs(ServerUsage("kestova-display", true).c_str(), stdout);
    return 0;
  }
  if (options->ListPorts) return ListPorts(stdout);
  if (options->CheckConfig) return RunConfigCheck("kestova-display", options->SettingsFile, std::cout, std::cerr);
  if (options->Headless || options->Service) return RunHeadless(options->SettingsFile, options->Service);

  std::string why;
  if (!DisplayAvailable(why)) {
    std::fprintf(stderr, "kestova-display: %s; running without a window\n", why.c_str());
    return RunHeadless(options->SettingsFile, false);
  }
  MainThread().BindToCurrentThread();
  const std::string settingsFile = options->SettingsFile;
  return RunDesktopWindow(argc, argv, [settingsFile](TfmServer::TLogEvent log) {
    return CreateAndStartService(std::move(log), settingsFile);
  });
}
