#include "display/settings_check.h"

#include "display/display_protocol.h"
#include "platform/hex_bytes.h"

namespace kestova {

TSettingsProblems CheckSettings(TSettings& settings) {
  TSettingsProblems problems;
  const std::string width = "Width setting (Settings.Width): " + std::to_string(settings.Width);
  if (settings.Width < 1 || settings.Width > kMaxWidth) {
    problems.push_back(
        {"Settings", "Width",
         width + " refused (1 to " + std::to_string(kMaxWidth) + "), " + std::to_string(kDefaultWidth) + " used"});
    settings.Width = kDefaultWidth;
  }
  // An empty value, as the example file leaves a key it does not use, is the default.
  if (settings.DisplayProtocol.empty()) settings.DisplayProtocol = DisplayProtocolName(kDefaultDisplayProtocol);
  const std::string protocol = "Display protocol setting (Settings.DisplayProtocol): " + settings.DisplayProtocol;
  const std::optional<TDisplayProtocol> known = DisplayProtocolByName(settings.DisplayProtocol);
  if (!known) {
    problems.push_back({"Settings", "DisplayProtocol",
                        protocol + " refused (" + DisplayProtocolNames() + "), " +
                            std::string(DisplayProtocolName(kDefaultDisplayProtocol)) + " used"});
    settings.DisplayProtocol = DisplayProtocolName(kDefaultDisplayProtocol);
  }
  const std::string init = "Display init setting (Settings.DisplayInit): " + settings.DisplayInit;
  if (!BytesFromHex(settings.DisplayInit)) {
    problems.push_back(
        {"Settings", "DisplayInit", init + " refused (bytes in hexadecimal, such as 1B 74 12), nothing sent"});
    settings.DisplayInit.clear();
  }
  if (settings.DisplayMode == dpDll) {
    if (settings.Width > kUsbLineLength)
      problems.push_back({"Settings", "Width",
                          width + " runs line 1 into line 2 of the USB display, which begins at position " +
                              std::to_string(kUsbLineLength)});
    if (known && *known != kDefaultDisplayProtocol)
      problems.push_back({"Settings", "DisplayProtocol", protocol + " has no effect on the USB display"});
    if (!settings.DisplayInit.empty())
      problems.push_back({"Settings", "DisplayInit", init + " has no effect on the USB display"});
  }
  if (settings.DisplayMode == dpCom && known == prLogicControls && settings.Width > kLogicControlsLine2)
    problems.push_back({"Settings", "Width",
                        width + " runs line 1 into line 2 of the logic-controls display, which begins at position " +
                            std::to_string(kLogicControlsLine2)});
  return problems;
}

}  // namespace kestova
