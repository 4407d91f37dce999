#pragma once
// The timestamp that starts every line of the server's log, "yyyy-mm-dd hh.nn.ss" in local time
// on the 24-hour clock. The separators are fixed characters, whatever the locale says, so the
// window and the headless program write the same lines.
//
// Thread safety: any thread.
#include <chrono>
#include <string>

namespace kestova {

std::string LogTimestamp(std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

}  // namespace kestova
