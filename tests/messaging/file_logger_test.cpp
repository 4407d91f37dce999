#include "messaging/file_logger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace kestova {
namespace {

namespace fs = std::filesystem;

using test::ReadWholeFile;

class RecordingMonitor : public ILogMonitor {
 public:
  void AddLine(const std::string& line) override { Lines.push_back(line); }
  void Clear() override {
    Lines.clear();
    ++Clears;
  }
  std::vector<std::string> Lines;
  int Clears = 0;
};

class FileLoggerTest : public ::testing::Test {
 protected:
  // An active logger on FFile with the given level.
  void Activate(TKvBaseLogger& logger, TLogLevel level) {
    logger.SetLogFileName(FFile.string());
    logger.SetLevel(level);
    logger.SetActive(true);
  }

  test::TTempDir FTemp{"kestova-logger"};
  fs::path FDir = FTemp.Path();
  static constexpr const char* kLogName = "logs/app.log";
  fs::path FFile = FDir / kLogName;
};

TEST_F(FileLoggerTest, ProcessWideLoggerStartsInactiveAndIgnoresEverything) {
  TKvBaseLogger& logger = Logger();
  EXPECT_EQ(&logger, &Logger());
  EXPECT_EQ(logger.Level(), llInfo);
  EXPECT_FALSE(logger.Active());
  EXPECT_TRUE(logger.LogFileName().empty());
  EXPECT_TRUE(logger.Prefix().empty());
  EXPECT_EQ(logger.Monitor(), nullptr);
  EXPECT_FALSE(logger.LogSql);
  EXPECT_EQ(logger.MaxLogFileSize, 1048576);
  for (int level = llNone; level <= llForce; ++level) logger.Log(static_cast<TLogLevel>(level), "ignored");
  EXPECT_TRUE(logger.LastLine().empty());
  EXPECT_EQ(logger.Content().Count(), 0);
}

// Which message levels reach the file for a configured level, state and SQL switch.
struct GateCase {
  TLogLevel Configured;
  bool Active;
  bool LogSql;
  std::set<int> Written;
};

TEST_F(FileLoggerTest, LevelStateAndSqlGates) {
  const std::vector<GateCase> cases = {
      {llInfo, true, false, {llCritical, llError, llWarning, llInfo}},
      {llInfo, true, true, {llCritical, llError, llWarning, llInfo}},
      {llInfo, false, true, {}},
      {llNone, true, true, {}},
      {llVerbose, true, true, {llCritical, llError, llWarning, llInfo, llVerbose}},
      {llSql, true, false, {llCritical, llError, llWarning, llInfo, llVerbose}},
      {llSql, true, true, {llCritical, llError, llWarning, llInfo, llVerbose, llSql}},
      // llForce logs whatever the state, SQL only when switched on.
      {llForce, false, false, {llNone, llCritical, llError, llWarning, llInfo, llVerbose, llForce}},
      {llForce, false, true, {llNone, llCritical, llError, llWarning, llInfo, llVerbose, llSql, llForce}},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "configured " << int(c.Configured) << " active " << c.Active << " sql "
                                    << c.LogSql);
    fs::remove_all(FFile.parent_path());
    TKvBaseLogger logger;
    logger.SetLogFileName(FFile.string());
    logger.SetLevel(c.Configured);
    logger.SetActive(true);  // creates the folder
    logger.SetActive(c.Active);
    logger.LogSql = c.LogSql;
    for (int level = llNone; level <= llForce; ++level)
      logger.Log(static_cast<TLogLevel>(level), "message " + std::to_string(level));

    std::set<int> written;
    const TStringList content = logger.Content();
    for (const std::string& line : content.Items()) {
      const std::size_t at = line.rfind("message ");
      ASSERT_NE(at, std::string::npos) << line;
      const int level = std::stoi(line.substr(at + 8));
      EXPECT_NE(line.find(std::string(LogLevelLabel(static_cast<TLogLevel>(level))) + "  message"), std::string::npos)
          << line;
      written.insert(level);
    }
    EXPECT_EQ(written, c.Written);
  }
}

TEST_F(FileLoggerTest, NoFileNameWritesNothingEvenWhenForced) {
  TKvBaseLogger logger(llForce, "", "");
  logger.SetActive(true);
  logger.Log(llCritical, "lost");
  EXPECT_TRUE(logger.LastLine().empty());
}

TEST_F(FileLoggerTest, LineFormatLabelsAndPrefixes) {
  const std::regex stamp(R"(^\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})? )");
  struct Case {
    std::string Prefix;  // through SetPrefix
    TLogLevel Level;
    std::string Tail;  // what follows the time stamp
  };
  const std::vector<Case> cases = {
      {"", llError, "ERROR     text"},
      {"POS", llWarning, "WARNING  (POS) text"},
      {"", llCritical, "CRITICAL  text"},
      {"", llNone, std::string(10, ' ') + "text"},
      {"", llForce, std::string(10, ' ') + "text"},
      {"", llSql, "SQL       text"},
      {"", llVerbose, "VERBOSE   text"},
      {"", llInfo, "INFO      text"},
  };
  TKvBaseLogger logger;
  Activate(logger, llForce);
  logger.LogSql = true;
  std::string expected;
  for (const Case& c : cases) {
    logger.SetPrefix(c.Prefix);
    logger.Log(c.Level, "text");
    const std::string line = logger.LastLine();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, stamp)) << line;
    EXPECT_EQ(line.substr(m.length()), c.Tail);
    expected += line + "\n";
  }
  EXPECT_EQ(ReadWholeFile(FFile), expected);

  // The four-argument constructor keeps its prefix as given.
  TKvBaseLogger plain(llInfo, "POS", FFile.string());
  plain.SetActive(true);
  plain.Log(llInfo, "text");
  EXPECT_TRUE(plain.LastLine().ends_with(" INFO     POS text")) << plain.LastLine();
  plain.SetPrefix("");
  EXPECT_EQ(plain.Prefix(), "");
}

TEST_F(FileLoggerTest, SizeCheckCountsWholeBlocks) {
  struct Case {
    std::size_t Existing;
    bool Truncated;
  };
  const std::vector<Case> cases = {
      {1048576 + 128, true},   // 8193 whole blocks: over the limit
      {1048576 + 127, false},  // 8192 whole blocks: exactly the limit
      {1048576, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Existing);
    TKvBaseLogger logger;
    Activate(logger, llInfo);
    RecordingMonitor monitor;
    monitor.Lines = {"old"};
    logger.SetMonitor(&monitor);
    FTemp.WriteFile(kLogName, std::string(c.Existing, 'x'));
    logger.Log(llInfo, "next");
    const std::string line = logger.LastLine() + "\n";
    if (c.Truncated) {
      EXPECT_EQ(ReadWholeFile(FFile), line);
      EXPECT_EQ(monitor.Lines, std::vector<std::string>{logger.LastLine()});
      EXPECT_EQ(monitor.Clears, 1);
    } else {
      EXPECT_EQ(fs::file_size(FFile), c.Existing + line.size());
      EXPECT_EQ(monitor.Lines, (std::vector<std::string>{"old", logger.LastLine()}));
      EXPECT_EQ(monitor.Clears, 0);
    }
  }
}

TEST_F(FileLoggerTest, FileStaysNearTheLimitUnderSteadyLogging) {
  TKvBaseLogger logger;
  Activate(logger, llInfo);
  logger.MaxLogFileSize = 1000;
  std::uintmax_t largest = 0;
  int shrinks = 0;
  std::uintmax_t previous = 0;
  for (int i = 0; i < 200; ++i) {
    logger.Log(llInfo, "line number " + std::to_string(i));
    const std::uintmax_t size = fs::file_size(FFile);
    if (size < previous) ++shrinks;
    previous = size;
    largest = std::max(largest, size);
  }
  EXPECT_GT(shrinks, 3);
  // Below the next block boundary plus one line.
  EXPECT_LT(largest, 1000u + 128u + logger.LastLine().size() + 1);
}

TEST_F(FileLoggerTest, MonitorMirrorsLinesAndIsEmptiedOnDeactivationAndClear) {
  TKvBaseLogger logger;
  RecordingMonitor monitor;
  logger.SetMonitor(&monitor);
  Activate(logger, llInfo);
  logger.Log(llInfo, "one");
  logger.Log(llVerbose, "not written, not shown");
  logger.Log(llError, "two");
  ASSERT_EQ(monitor.Lines.size(), 2u);
  EXPECT_EQ(monitor.Lines, logger.Content().Items());

  logger.SetActive(false);
  EXPECT_TRUE(monitor.Lines.empty());
  EXPECT_TRUE(fs::exists(FFile));

  monitor.Lines = {"x"};
  logger.Clear();
  EXPECT_FALSE(fs::exists(FFile));
  EXPECT_TRUE(monitor.Lines.empty());
  EXPECT_EQ(logger.Content().Count(), 0);

  monitor.Lines = {"x"};
  logger.Clear();  // missing file: only the monitor is emptied
  EXPECT_TRUE(monitor.Lines.empty());

  monitor.Lines = {"x"};
  logger.ClearMonitor();
  EXPECT_TRUE(monitor.Lines.empty());
  logger.SetMonitor(nullptr);
  logger.ClearMonitor();
}

TEST_F(FileLoggerTest, SetActiveCreatesFoldersAndNeverRaises) {
  TKvBaseLogger logger;
  logger.SetLogFileName((FDir / "a" / "b" / "c" / "app.log").string());
  logger.SetActive(false);  // folders are made whatever the new value
  EXPECT_TRUE(fs::is_directory(FDir / "a" / "b" / "c"));

  // A bare file name lives in the current folder: nothing to create, no error.
  TKvBaseLogger bare;
  bare.SetLogFileName("kestova-logger-bare-name.log");
  EXPECT_NO_THROW(bare.SetActive(true));
  EXPECT_TRUE(bare.Active());

  // A folder that cannot be made (a file is in the way): not reported, and Log loses the line.
  FTemp.WriteFile("blocker", "x");
  TKvBaseLogger blocked;
  blocked.SetLogFileName((FDir / "blocker" / "sub" / "app.log").string());
  EXPECT_NO_THROW(blocked.SetActive(true));
  EXPECT_NO_THROW(blocked.Log(llError, "lost"));
  EXPECT_TRUE(blocked.LastLine().empty());
}

TEST_F(FileLoggerTest, FailuresAreSwallowed) {
  // The file name names a folder: opening fails.
  TKvBaseLogger logger;
  logger.SetLogFileName(FDir.string());
  logger.SetActive(true);
  EXPECT_NO_THROW(logger.Log(llError, "lost"));
  EXPECT_TRUE(logger.LastLine().empty());

  // A monitor that throws does not get past Log; the file line is still written.
  class ThrowingMonitor : public ILogMonitor {
    void AddLine(const std::string&) override { throw std::runtime_error("view gone"); }
    void Clear() override { throw std::runtime_error("view gone"); }
  } throwing;
  TKvBaseLogger withView;
  Activate(withView, llInfo);
  withView.SetMonitor(&throwing);
  EXPECT_NO_THROW(withView.Log(llInfo, "kept"));
  EXPECT_NO_THROW(withView.Clear());
  EXPECT_NO_THROW(withView.ClearMonitor());
}

TEST_F(FileLoggerTest, ContentReadsEveryLineBreakStyle) {
  TKvBaseLogger logger;
  logger.SetLogFileName(FFile.string());
  EXPECT_EQ(logger.Content().Count(), 0);
  fs::create_directories(FFile.parent_path());
  FTemp.WriteFile(kLogName, "a\r\nb\nc\rd");
  EXPECT_EQ(logger.Content().Items(), (std::vector<std::string>{"a", "b", "c", "d"}));
  FTemp.WriteFile(kLogName, "a\n\nb\n");
  EXPECT_EQ(logger.Content().Items(), (std::vector<std::string>{"a", "", "b"}));
}

TEST_F(FileLoggerTest, ConcurrentLoggersLoseNoLines) {
  TKvBaseLogger logger;
  Activate(logger, llInfo);
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < kLines; ++i) logger.Log(llInfo, "t" + std::to_string(t) + " n" + std::to_string(i));
    });
  for (std::thread& thread : threads) thread.join();

  std::set<std::string> seen;
  const TStringList content = logger.Content();
  for (const std::string& line : content.Items()) {
    const std::size_t at = line.find("  t");
    ASSERT_NE(at, std::string::npos) << line;
    seen.insert(line.substr(at + 2));
  }
  EXPECT_EQ(seen.size(), std::size_t{kThreads * kLines});
}

}  // namespace
}  // namespace kestova
