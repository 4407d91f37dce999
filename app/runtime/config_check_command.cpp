#include "app/runtime/config_check_command.h"

#include <ostream>

#include "display/config_check.h"
#include "display/settings.h"
#include "platform/usb_pole_display.h"

namespace kestova {

int RunConfigCheck(const std::string& program, const std::string& settingsFile, std::ostream& out, std::ostream& err) {
  const std::string file = SettingsFilePath(settingsFile);
  TConfigCheckPlaces places;
  places.UsbLibraryPath = UsbPoleDisplayLibraryPath();
  const TConfigCheckReport report = CheckConfigFile(file, places);
  if (!report.Unreadable.empty()) {
    err << program << ": cannot read the settings file " << file << ": " << report.Unreadable << '\n';
    return kCheckConfigUnreadable;
  }
  out << "; " << file << " as the server reads it\n";
  for (const std::string& line : report.Values) out << line << '\n';
  for (const std::string& line : report.Problems) out << line << '\n';
  out.flush();
  return report.Problems.empty() ? kCheckConfigClean : kCheckConfigProblems;
}

}  // namespace kestova
