#pragma once
// The process-wide file logger switched on for a test: level llVerbose, a file in a temporary
// folder, and a monitor that keeps every line's level label and message. The destructor puts
// the logger back as it was at start (inactive, no file, no monitor, level llInfo).
//
// Thread safety: lines may arrive from any thread; the readers may run on any thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "messaging/file_logger.h"
#include "tests/support/temp_dir.h"

namespace kestova::testing {

struct TLogEntry {
  std::string Level;  // the label without its padding: "INFO", "VERBOSE", "ERROR"
  std::string Text;
  bool operator==(const TLogEntry&) const = default;
};

class TLogCapture : public ILogMonitor {
 public:
  TLogCapture();
  ~TLogCapture() override;
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  void AddLine(const std::string& line) override;
  void Clear() override {}

  std::vector<TLogEntry> Entries() const;
  // Forget what was logged so far.
  void Reset();

 private:
  test::TTempDir FDir{"kestova-rfid-log"};
  mutable std::mutex FLock;
  std::vector<TLogEntry> FEntries;
};

// Whether `expected` occur in `entries` in this order (other entries may come between).
::testing::AssertionResult LoggedInOrder(const std::vector<TLogEntry>& entries, const std::vector<TLogEntry>& expected);

}  // namespace kestova::testing
