#include "app/runtime/console_log.h"

#include <cstdio>
#include <mutex>

#include "platform/log_timestamp.h"

namespace kestova {

void WriteConsoleLogLine(const std::string& MsgTxt) {
  static std::mutex lock;
  const std::string line = LogTimestamp() + ": " + MsgTxt + "\n";
  std::lock_guard guard(lock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace kestova
