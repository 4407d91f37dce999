#pragma once
// Settings the server cannot run with, caught once at start. Load takes any number; these are
// the limits the display itself sets.
//
// A problem names the key it is about, so the start can log its text and the settings check
// (--check-config) can point at the key's line in the file.
#include <string>
#include <vector>

#include "display/settings.h"

namespace kestova {

inline constexpr int32_t kDefaultWidth = 20;
// No pole display has longer lines; a wider setting only makes every line cost that much memory.
inline constexpr int32_t kMaxWidth = 80;
// Where the USB display's line 2 begins (cmdL2): a longer line 1 runs into it.
inline constexpr int32_t kUsbLineLength = 20;

struct TSettingsProblem {
  std::string Section;  // the key the problem is about; both empty when it is about none
  std::string Key;
  std::string Text;  // the log line
};
using TSettingsProblems = std::vector<TSettingsProblem>;

// Puts a Width outside 1..kMaxWidth back to kDefaultWidth, an unknown DisplayProtocol back to the
// default set and a DisplayInit that is no hexadecimal bytes back to none, and returns one
// problem for each display setting that was refused or will not show as meant.
TSettingsProblems CheckSettings(TSettings& settings);

}  // namespace kestova
