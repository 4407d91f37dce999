#pragma once
// Command-line options shared by the desktop and the headless programs.
#include <optional>
#include <string>

namespace kestova {

struct TServerOptions {
  std::string SettingsFile;  // empty: Settings.ini beside the executable
  bool Service = false;      // service-manager side: SIGTERM runs the stop handler
  bool Headless = false;     // desktop program only: no window
  bool CheckConfig = false;  // check the settings file and exit
  bool Help = false;
  bool ListPorts = false;  // print the serial ports and exit
};

// Parses argv; on bad usage returns nothing and puts a one-line reason in `error`.
std::optional<TServerOptions> ParseServerOptions(int argc, char** argv, bool allowHeadless, std::string& error);
std::string ServerUsage(const std::string& program, bool allowHeadless);

}  // namespace kestova
