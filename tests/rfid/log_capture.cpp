#include "tests/rfid/log_capture.h"

#include <gtest/gtest.h>

#include <cctype>

namespace kestova::testing {
namespace {

// "<date>[ <time>] <label> <prefix> <message>" with an empty prefix.
TLogEntry Parse(const std::string& line) {
  std::size_t at = 11;  // after "yyyy-mm-dd "
  if (line.size() > 13 && std::isdigit(static_cast<unsigned char>(line[11])) && line[13] == ':') at = 20;
  if (line.size() < at + 10) return {"?", line};
  std::string label = line.substr(at, 8);
  label.erase(label.find_last_not_of(' ') + 1);
  return {label, line.substr(at + 10)};
}

}  // namespace

TLogCapture::TLogCapture() {
  Logger().SetLogFileName(FDir.File("rfid.log"));
  Logger().SetLevel(llVerbose);
  Logger().SetActive(true);
  Logger().SetMonitor(this);
}

TLogCapture::~TLogCapture() {
  Logger().SetMonitor(nullptr);
  Logger().SetActive(false);
  Logger().SetLogFileName("");
  Logger().SetLevel(llInfo);
}

void TLogCapture::AddLine(const std::string& line) {
  std::lock_guard lock(FLock);
  FEntries.push_back(Parse(line));
}

std::vector<TLogEntry> TLogCapture::Entries() const {
  std::lock_guard lock(FLock);
  return FEntries;
}

void TLogCapture::Reset() {
  std::lock_guard lock(FLock);
  FEntries.clear();
}

::testing::AssertionResult LoggedInOrder(const std::vector<TLogEntry>& entries,
                                         const std::vector<TLogEntry>& expected) {
  std::size_t next = 0;
  for (const TLogEntry& entry : entries)
    if (next < expected.size() && entry == expected[next]) ++next;
  if (next == expected.size()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure()
                 << "missing (in order): " << expected[next].Level << " \"" << expected[next].Text << "\"; logged:";
  for (const TLogEntry& entry : entries) failure << "\n  " << entry.Level << " \"" << entry.Text << "\"";
  return failure;
}

}  // namespace kestova::testing
