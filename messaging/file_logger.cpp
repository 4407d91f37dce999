#include "messaging/file_logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "platform/format.h"
#include "platform/unique_fd.h"

namespace kestova {

namespace {

// Local date and time; the time is left out at exactly midnight, as date-only values print.
std::string NowText() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  std::string text = Format("%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0 || millis != 0)
    text += Format(" %02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

bool WriteAll(int fd, std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string_view LogLevelLabel(TLogLevel level) noexcept {
  switch (level) {
    case llCritical: return "CRITICAL";
    case llError: return "ERROR   ";
    case llWarning: return "WARNING ";
    case llInfo: return "INFO    ";
    case llVerbose: return "VERBOSE ";
    case llSql: return "SQL     ";
    case llNone:
    case llForce: break;
  }
  return "        ";
}

TKvBaseLogger::TKvBaseLogger() { InitLogger(); }

TKvBaseLogger::TKvBaseLogger(TLogLevel level, std::string prefix, std::string logFileName)
    : FLogLevel(level), FLogFileName(std::move(logFileName)), FAppPrefix(std::move(prefix)) {
  InitLogger();
}

void TKvBaseLogger::InitLogger() {
  FActive = false;
  LogSql = false;
  MaxLogFileSize = kDefaultMaxLogFileSize;
}

std::string TKvBaseLogger::BuildLine(TLogLevel level, std::string_view msgTxt) const {
  std::string line = NowText();
  line += ' ';
  line += LogLevelLabel(level);
  line += ' ';
  line += FAppPrefix;
  line += ' ';
  line += msgTxt;
  return line;
}

void TKvBaseLogger::Log(TLogLevel level, std::string_view msgTxt) noexcept {
  try {
    std::unique_lock lock(FLock);
    if (FLogLevel != llForce && (level > FLogLevel || level == llNone || !FActive || FLogFileName.empty())) return;
    if (level == llSql && !LogSql) return;
    if (FLogFileName.empty()) return;

    UniqueFd file(::open(FLogFileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!file) return;

    // Counted in whole blocks, so a file a little over the limit is kept until it crosses the
    // next block boundary. Appending after the truncation starts the file with this line.
    bool truncated = false;
    struct stat info {};
    if (::fstat(file.Get(), &info) == 0) {
      const int64_t size = static_cast<int64_t>(info.st_size) / kSizeBlock * kSizeBlock;
      if (size > MaxLogFileSize.load()) truncated = ::ftruncate(file.Get(), 0) == 0;
    }

    std::string line = BuildLine(level, msgTxt);
    FLastLine = line;
    ILogMonitor* const memo = FMemo;
    WriteAll(file.Get(), line + '\n');
    file.Close();
    lock.unlock();

    if (memo != nullptr) {
      if (truncated) memo->Clear();
      memo->AddLine(line);
    }
  } catch (...) {
    // The logger never raises: the line is lost.
  }
}

void TKvBaseLogger::Clear() noexcept {
  try {
    std::unique_lock lock(FLock);
    if (!FLogFileName.empty()) ::unlink(FLogFileName.c_str());
    ILogMonitor* const memo = FMemo;
    lock.unlock();
    if (memo != nullptr) memo->Clear();
  } catch (...) {
  }
}

void TKvBaseLogger::ClearMonitor() noexcept {
  try {
    std::unique_lock lock(FLock);
    ILogMonitor* const memo = FMemo;
    lock.unlock();
    if (memo != nullptr) memo->Clear();
  } catch (...) {
  }
}

TLogLevel TKvBaseLogger::Level() const {
  std::lock_guard lock(FLock);
  return FLogLevel;
}

void TKvBaseLogger::SetLevel(TLogLevel level) {
  std::lock_guard lock(FLock);
  FLogLevel = level;
}

std::string TKvBaseLogger::LogFileName() const {
  std::lock_guard lock(FLock);
  return FLogFileName;
}

void TKvBaseLogger::SetLogFileName(std::string fileName) {
  std::lock_guard lock(FLock);
  FLogFileName = std::move(fileName);
}

bool TKvBaseLogger::Active() const {
  std::lock_guard lock(FLock);
  return FActive;
}

void TKvBaseLogger::SetActive(bool value) {
  std::unique_lock lock(FLock);
  FActive = value;
  if (!FLogFileName.empty()) {
    // A bare file name lives in the current folder, which exists: nothing to create.
    const std::filesystem::path folder = std::filesystem::path(FLogFileName).parent_path();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  }
  ILogMonitor* const memo = value ? nullptr : FMemo;
  lock.unlock();
  if (memo != nullptr) memo->Clear();
}

std::string TKvBaseLogger::Prefix() const {
  std::lock_guard lock(FLock);
  return FAppPrefix;
}

void TKvBaseLogger::SetPrefix(std::string_view value) {
  std::lock_guard lock(FLock);
  FAppPrefix = value.empty() ? std::string() : "(" + std::string(value) + ")";
}

ILogMonitor* TKvBaseLogger::Monitor() const {
  std::lock_guard lock(FLock);
  return FMemo;
}

void TKvBaseLogger::SetMonitor(ILogMonitor* monitor) {
  std::lock_guard lock(FLock);
  FMemo = monitor;
}

std::string TKvBaseLogger::LastLine() const {
  std::lock_guard lock(FLock);
  return FLastLine;
}

TStringList TKvBaseLogger::Content() const { return GetLog(); }

TStringList TKvBaseLogger::GetLog() const {
  TStringList lines;
  std::ifstream in(LogFileName(), std::ios::binary);
  if (!in) return lines;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Lines end with LF, CR LF or CR; a break after the last line adds no empty line.
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.Add(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.Add(std::move(line));
  return lines;
}

TKvBaseLogger& Logger() {
  static TKvBaseLogger logger;
  return logger;
}

}  // namespace kestova
