#include "app/runtime/server_options.h"

namespace kestova {

std::optional<TServerOptions> ParseServerOptions(int argc, char** argv, bool allowHeadless, std::string& error) {
  TServerOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--list-ports") {
      options.ListPorts = true;
    } else if (arg == "--service") {
      options.Service = true;
    } else if (arg == "--check-config") {
      options.CheckConfig = true;
    } else if (arg == "--headless" && allowHeadless) {
      options.Headless = true;
    } else if (arg == "--settings") {
      if (i + 1 >= argc) {
        error = "--settings needs a file name";
        return std::nullopt;
      }
      options.SettingsFile = argv[++i];
    } else if (arg.rfind("--settings=", 0) == 0) {
      options.SettingsFile = arg.substr(11);
    } else {
      error = "unknown option: " + arg;
      return std::nullopt;
    }
  }
  return options;
}

std::string ServerUsage(const std::string& program, bool allowHeadless) {
  std::string usage = "usage: " + program + " [--settings FILE] [--service]" + (allowHeadless ? " [--headless]" : "") +
                      " [--list-ports] [--help]\n" + "       " + program + " --check-config [--settings FILE]\n";
  usage +=
      "\n"
      "Shows the two lines of SHOW_MESSAGE packets received over MQTT on the pole display and\n"
      "answers display enumeration requests.\n"
      "\n"
      "  --settings FILE  read FILE instead of Settings.ini beside the executable\n"
      "  --service        run for a service manager: SIGTERM stops the service (disconnects,\n"
      "                   closes the port) and exits 0; READY=1 is sent when NOTIFY_SOCKET is set,\n"
      "                   and WATCHDOG=1 at half of WATCHDOG_USEC when the manager watches it\n"
      "  --check-config   read the settings as the server would, print the value of every key,\n"
      "                   then one line per problem (unknown section or key, a broker that does\n"
      "                   not resolve, a missing serial device or a console, invalid topics, a\n"
      "                   Width out of range, a password without a user, a missing USB library,\n"
      "                   an unreadable CA file); exit 0 without problems, 1 with, 2 when the\n"
      "                   file cannot be read\n";
  if (allowHeadless) usage += "  --headless       run without a window, logging to standard output\n";
  usage +=
      "  --list-ports     list the serial ports (device, /dev/serial/by-id name, USB\n"
      "                   vendor:product, serial number, driver) and exit\n";
  usage += "  --help           show this text\n";
  return usage;
}

}  // namespace kestova
