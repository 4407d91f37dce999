#include "display/settings_check.h"

namespace kestova {

std::vector<std::string> CheckSettings(TSettings& settings) {
  std::vector<std::string> lines;
  const std::string width = "Width setting (Settings.Width): " + std::to_string(settings.Width);
  if (settings.Width < 1 || settings.Width > kMaxWidth) {
    lines.push_back(width + " refused (1 to " + std::to_string(kMaxWidth) + "), " + std::to_string(kDefaultWidth) +
                    " used");
    settings.Width = kDefaultWidth;
  }
  if (settings.DisplayMode == dpDll && settings.Width > kUsbLineLength)
    lines.push_back(width + " runs line 1 into line 2 of the USB display, which begins at position " +
                    std::to_string(kUsbLineLength));
  return lines;
}

}  // namespace kestova
