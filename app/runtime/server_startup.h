#pragma once
// The start-up both programs share: create the display service, give it the log callback,
// remember it process-wide, and start it. The start logs its own failures.
#include <memory>
#include <string>

#include "display/display_service.h"

namespace kestova {

std::unique_ptr<TKestovaDisplayService> CreateAndStartService(TLogEvent log, const std::string& settingsFile);

// Runs the server without a window until SIGINT or SIGTERM. With `serviceMode`, SIGTERM runs
// the stop handler first and the exit status is 0. Call on the main thread, before any other
// thread exists (termination signals are blocked here so they reach the event loop).
int RunHeadless(const std::string& settingsFile, bool serviceMode);

}  // namespace kestova
