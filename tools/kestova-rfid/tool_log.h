#pragma once
// The reader's file-logger lines for a command-line tool: while a TToolLog lives, the
// process-wide logger runs at level llVerbose and hands every line to it; it copies them to a
// stream when asked (-v) and keeps the message of the first error line, so the tool can name
// why the reader could not be reached. The logger mirrors lines only while it writes a file, so
// it writes to /dev/null meanwhile. The destructor puts the logger back as it was.
//
// Threads: lines arrive from any thread (the reader's listening thread too); FirstError after
// the reader is done.
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "messaging/file_logger.h"

namespace kestova {

class TToolLog : public ILogMonitor {
 public:
  // `echo`: where to copy every line, or nullptr.
  explicit TToolLog(std::ostream* echo);
  ~TToolLog() override;
  TToolLog(const TToolLog&) = delete;
  TToolLog& operator=(const TToolLog&) = delete;

  void AddLine(const std::string& line) override;
  void Clear() override {}

  // The message of the first line logged at llError, without date, time and label.
  std::optional<std::string> FirstError() const;

 private:
  std::ostream* FEcho;
  mutable std::mutex FLock;
  std::optional<std::string> FFirstError;
  // What the logger was before.
  TLogLevel FLevel;
  std::string FFileName;
  bool FActive;
  ILogMonitor* FMonitor;
};

}  // namespace kestova
