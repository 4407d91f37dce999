#include "display/settings_check.h"

namespace kestova {

TSettingsProblems CheckSettings(TSettings& settings) {
  TSettingsProblems problems;
  const std::string width = "Width setting (Settings.Width): " + std::to_string(settings.Width);
  if (settings.Width < 1 || settings.Width > kMaxWidth) {
    problems.push_back({"Settings", "Width",
                        width + " refused (1 to " + std::to_string(kMaxWidth) + "), " + std::to_string(kDefaultWidth) +
                            " used"});
    settings.Width = kDefaultWidth;
  }
  if (settings.DisplayMode == dpDll && settings.Width > kUsbLineLength)
    problems.push_back({"Settings", "Width",
                        width + " runs line 1 into line 2 of the USB display, which begins at position " +
                            std::to_string(kUsbLineLength)});
  return problems;
}

}  // namespace kestova
