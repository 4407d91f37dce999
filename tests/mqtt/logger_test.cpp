#include "mqtt/logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "mqtt/exceptions.h"

namespace kestova {

// Stand-ins for the library classes that write lines.
class TMqttWriterThread {
 public:
  virtual ~TMqttWriterThread() = default;
};
class TMqttReaderThread : public TMqttWriterThread {};

namespace {

// Keeps the formatted lines instead of writing them out.
class TRecordingLogger : public TMqttLogger {
 public:
  std::vector<std::string> Lines;
  std::vector<std::pair<TMqttLogLevel, std::string>> Events;

  TRecordingLogger() {
    OnLog = [this](TMqttLogger& ASender, TMqttLogLevel ALevel, const std::string& AMessage) {
      EXPECT_EQ(&ASender, this);
      Events.emplace_back(ALevel, AMessage);
    };
  }

 protected:
  void Logoutput(const std::string& AText) override { Lines.push_back(AText); }
};

// The part after "{time}: ".
std::string WithoutTime(const std::string& ALine) {
  static const std::regex time(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: )");
  std::smatch match;
  EXPECT_TRUE(std::regex_search(ALine, match, time)) << ALine;
  return match.suffix();
}

const TMqttWriterThread kWriter;

TEST(MqttLogger, NoLoggerLogsNothingAndFailsNothing) {
  TMqttLogger* none = nullptr;
  const std::runtime_error error("x");
  EXPECT_NO_THROW({
    TMqttLogHelper::Fatal(none, &kWriter, "m", &error);
    TMqttLogHelper::Error(none, &kWriter, "m");
    TMqttLogHelper::Warning(none, &kWriter, "m");
    TMqttLogHelper::Info(none, &kWriter, "m");
    TMqttLogHelper::Debug(none, &kWriter, "m");
    TMqttLogHelper::Debug(none, &kWriter, "m", uint8_t{1});
    TMqttLogHelper::Debug(none, &kWriter, "m", TMqttBytes{1, 2});
  });
}

TEST(MqttLogger, VerbosityFiltersBothEventAndOutput) {
  TRecordingLogger logger;
  EXPECT_EQ(logger.Verbosity(), TMqttLogLevel::vINFO);
  TMqttLogHelper::Debug(&logger, &kWriter, "hidden");
  TMqttLogHelper::Debug(&logger, &kWriter, "hidden", uint8_t{5});
  TMqttLogHelper::Debug(&logger, &kWriter, "hidden", TMqttBytes{5});
  TMqttLogHelper::Info(&logger, &kWriter, "shown");
  ASSERT_EQ(logger.Lines.size(), 1u);
  ASSERT_EQ(logger.Events.size(), 1u);
  EXPECT_EQ(logger.Events[0], std::make_pair(TMqttLogLevel::vINFO, std::string("shown")));
  EXPECT_EQ(WithoutTime(logger.Lines[0]), "INFO - TMqttWriterThread -- shown");

  logger.SetVerbosity(TMqttLogLevel::vNONE);
  TMqttLogHelper::Fatal(&logger, &kWriter, "silenced");
  EXPECT_EQ(logger.Lines.size(), 1u);

  logger.SetVerbosity(TMqttLogLevel::vDEBUG);
  TMqttLogHelper::Fatal(&logger, &kWriter, "f");
  TMqttLogHelper::Error(&logger, &kWriter, "e");
  TMqttLogHelper::Warning(&logger, &kWriter, "w");
  TMqttLogHelper::Debug(&logger, &kWriter, "d");
  ASSERT_EQ(logger.Lines.size(), 5u);
  EXPECT_EQ(WithoutTime(logger.Lines[1]), "FATAL - TMqttWriterThread -- f");
  EXPECT_EQ(WithoutTime(logger.Lines[2]), "ERROR - TMqttWriterThread -- e");
  EXPECT_EQ(WithoutTime(logger.Lines[3]), "WARNING - TMqttWriterThread -- w");
  EXPECT_EQ(WithoutTime(logger.Lines[4]), "DEBUG - TMqttWriterThread -- d");
}

TEST(MqttLogger, ByteRenderings) {
  TRecordingLogger logger;
  logger.SetVerbosity(TMqttLogLevel::vDEBUG);
  TMqttLogHelper::Debug(&logger, &kWriter, "IN - RL byte", uint8_t{5});
  EXPECT_EQ(logger.Events.back().second, "IN - RL byte --- 00000101 (5)");

  TMqttBytes sixty(60, 0x81);
  TMqttLogHelper::Debug(&logger, &kWriter, "OUT", sixty);
  std::string expected = "OUT --- ";
  for (int i = 0; i < 51; ++i) expected += "10000001 ";
  EXPECT_EQ(logger.Events.back().second, expected);

  TMqttLogHelper::Debug(&logger, &kWriter, "OUT", TMqttBytes{});
  EXPECT_EQ(logger.Events.back().second, "OUT --- ");
  EXPECT_EQ(TMqttLogger::ByteToBits(0xA0), "10100000");
}

TEST(MqttLogger, ExceptionAddsItsMessageAndAnEmptyStackLine) {
  TRecordingLogger logger;
  const EMqttDecodeError error("Could not read");
  TMqttLogHelper::Error(&logger, &kWriter, "IN - Read exception", &error);
  ASSERT_EQ(logger.Lines.size(), 1u);
  EXPECT_EQ(WithoutTime(logger.Lines[0]), "ERROR - TMqttWriterThread -- IN - Read exception\r\nCould not read\r\n");
  // The event carries the message alone.
  EXPECT_EQ(logger.Events[0].second, "IN - Read exception");
}

TEST(MqttLogger, PlaceholdersAreReplacedInOrderAndSenderIsTheDynamicClass) {
  TRecordingLogger logger;
  const TMqttReaderThread reader;
  const TMqttWriterThread* asBase = &reader;
  TMqttLogHelper::Info(&logger, asBase, "a {level} b {time} c {sender}");
  // "{level}" is replaced after the message is in; "{time}" and "{sender}" were replaced before.
  EXPECT_EQ(WithoutTime(logger.Lines[0]), "INFO - TMqttReaderThread -- a INFO b {time} c {sender}");
  const int plain = 0;
  TMqttLogHelper::Info(&logger, &plain, "x");
  EXPECT_EQ(WithoutTime(logger.Lines[1]), "INFO - int -- x");
}

TEST(MqttLogger, DefaultOutputIsStandardError) {
  TMqttLogger logger;
  ::testing::internal::CaptureStderr();
  TMqttLogHelper::Info(&logger, &kWriter, "to the debug output");
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(WithoutTime(written), "INFO - TMqttWriterThread -- to the debug output\n");
}

TEST(MqttLogger, FreeNotificationTellsHoldersItIsGone) {
  int told = 0;
  int removed = 0;
  {
    TMqttLogger logger;
    logger.AddFreeNotification([&](TMqttLogger&) { ++told; });
    const int token = logger.AddFreeNotification([&](TMqttLogger&) { ++removed; });
    logger.RemoveFreeNotification(token);
  }
  EXPECT_EQ(told, 1);
  EXPECT_EQ(removed, 0);
}

TEST(MqttLogger, ManyThreadsLogAtOnce) {
  class TCountingLogger : public TMqttLogger {
   public:
    std::atomic<int> Written{0};

   protected:
    void Logoutput(const std::string&) override { ++Written; }
  } logger;
  std::atomic<int> events{0};
  logger.OnLog = [&](TMqttLogger&, TMqttLogLevel, const std::string&) { ++events; };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        TMqttLogHelper::Info(&logger, &kWriter, "line");
        TMqttLogHelper::Debug(&logger, &kWriter, "hidden", TMqttBytes{1});
        if (i == 250) logger.SetVerbosity(TMqttLogLevel::vINFO);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(logger.Written.load(), 2000);
  EXPECT_EQ(events.load(), 2000);
}

}  // namespace
}  // namespace kestova
