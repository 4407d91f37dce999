#pragma once
// A small levelled logger that appends one line per message to a text file, optionally mirrors
// each line into a monitor (a multi-line text view), and empties the file once it has grown past a
// size limit. The file is opened and closed for every message, so no handle stays open between
// messages and other programs may read or delete the file at any time.
//
// Line format: "<date> <time> <label> <prefix> <message>" followed by a line feed, where the date
// and time read "yyyy-mm-dd hh:nn:ss" in local time (the time is left out at exactly midnight), the
// label is the 8-character level label, and an empty prefix leaves two blanks between label and
// message. The text is written as given (UTF-8).
//
// Threads: every member may be called from any thread. Log calls are serialised, so lines from
// several threads are never lost or interleaved; the monitor is called outside the logger's lock,
// on the thread that logs.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/string_list.h"

namespace kestova {

enum TLogLevel : uint8_t { llNone, llCritical, llError, llWarning, llInfo, llVerbose, llSql, llForce };

// The 8-character label of a message level ("ERROR   "; blanks for llNone and llForce).
std::string_view LogLevelLabel(TLogLevel level) noexcept;

// Where written lines are mirrored. Not owned by the logger; the owner clears the logger's
// Monitor before destroying it. Called on the thread that logs.
class ILogMonitor {
 public:
  virtual ~ILogMonitor() = default;
  virtual void AddLine(const std::string& line) = 0;
  virtual void Clear() = 0;
};

class TKvBaseLogger {
 public:
  static constexpr int32_t kDefaultMaxLogFileSize = 1048576;
  // The size check counts the file in whole blocks of this many bytes.
  static constexpr int64_t kSizeBlock = 128;

  // Level llInfo, empty prefix, inactive, no file name.
  TKvBaseLogger();
  // The prefix is used as given (no parentheses are added, unlike SetPrefix).
  TKvBaseLogger(TLogLevel level, std::string prefix, std::string logFileName);
  TKvBaseLogger(const TKvBaseLogger&) = delete;
  TKvBaseLogger& operator=(const TKvBaseLogger&) = delete;

  // Appends one line when the message passes the level, state and SQL gates. Never raises: any
  // failure to open, size, truncate or write the file loses the line silently.
  void Log(TLogLevel level, std::string_view msgTxt) noexcept;
  // Deletes the log file when it exists, then empties the monitor.
  void Clear() noexcept;
  // Empties the monitor's text when a monitor is set.
  void ClearMonitor() noexcept;

  TLogLevel Level() const;
  void SetLevel(TLogLevel level);
  std::string LogFileName() const;
  void SetLogFileName(std::string fileName);
  bool Active() const;
  // Stores the flag; with a file name set, creates the file's folder and its missing parents
  // (a folder that cannot be created is not reported: the next Log fails silently); when now
  // inactive, empties the monitor.
  void SetActive(bool value);
  std::string Prefix() const;
  // A non-empty value is stored as "(" + value + ")"; an empty value empties the prefix.
  void SetPrefix(std::string_view value);
  ILogMonitor* Monitor() const;
  void SetMonitor(ILogMonitor* monitor);
  // The last line written to the file, without its line break.
  std::string LastLine() const;
  // The file's lines, read now; empty when the file does not exist.
  TStringList Content() const;

  // When false, messages of level llSql are dropped.
  std::atomic<bool> LogSql{false};
  // Size limit of the log file in bytes.
  std::atomic<int32_t> MaxLogFileSize{kDefaultMaxLogFileSize};

 private:
  void InitLogger();
  TStringList GetLog() const;
  std::string BuildLine(TLogLevel level, std::string_view msgTxt) const;

  mutable std::mutex FLock;
  TLogLevel FLogLevel = llInfo;
  std::string FLogFileName;
  bool FActive = false;
  std::string FAppPrefix;
  ILogMonitor* FMemo = nullptr;  // not owned
  std::string FLastLine;
};

// The process-wide logger: level llInfo, inactive, no file name until an application sets one.
// Created on first use and kept until the process ends.
TKvBaseLogger& Logger();

}  // namespace kestova
