#pragma once
// Whether the desktop program can show its window. Qt ends the process when its platform
// cannot reach a display, so the program asks first and runs headless when there is none.
//
// Thread safety: main thread, before the application object is created (it reads the
// environment: QT_QPA_PLATFORM, DISPLAY).
#include <string>

namespace kestova {

// True when a window can be shown. Otherwise false, with the reason in `why`, e.g.
// "cannot open display \":5\"".
bool DisplayAvailable(std::string& why);

}  // namespace kestova
