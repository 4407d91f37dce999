#include "tools/kestova-rfid/tool_log.h"

namespace kestova {

TToolLog::TToolLog(std::ostream* echo)
    : FEcho(echo),
      FLevel(Logger().Level()),
      FFileName(Logger().LogFileName()),
      FActive(Logger().Active()),
      FMonitor(Logger().Monitor()) {
  Logger().SetLogFileName("/dev/null");
  Logger().SetLevel(llVerbose);
  Logger().SetActive(true);
  Logger().SetMonitor(this);
}

TToolLog::~TToolLog() {
  Logger().SetMonitor(FMonitor);
  Logger().SetActive(FActive);
  Logger().SetLevel(FLevel);
  Logger().SetLogFileName(FFileName);
}

void TToolLog::AddLine(const std::string& line) {
  std::lock_guard lock(FLock);
  if (FEcho != nullptr) *FEcho << line << std::endl;
  // The label, then the (empty) prefix between two blanks, then the message.
  const std::string errorLabel = std::string(LogLevelLabel(llError)) + "  ";
  const std::size_t at = line.find(errorLabel);
  if (!FFirstError && at != std::string::npos) FFirstError = line.substr(at + errorLabel.size());
}

std::optional<std::string> TToolLog::FirstError() const {
  std::lock_guard lock(FLock);
  return FFirstError;
}

}  // namespace kestova
