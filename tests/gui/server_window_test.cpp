#include "app/gui/server_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/log_timestamp.h"
#include "tests/gui/gui_test_support.h"

namespace kestova {
namespace {

using test::LogLineCount;
using test::LogLines;
using test::WaitFor;

const QRegularExpression kLogLine(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d): (.*)$"));

// The message part of a log line, after checking the timestamp's shape.
QString MessageOf(const QString& line) {
  const auto match = kLogLine.match(line);
  EXPECT_TRUE(match.hasMatch()) << line.toStdString();
  return match.captured(2);
}

TEST(ServerWindowTest, DesignTimeLayoutCaptionsAndFlags) {
  TfmServer window;
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestova LED display Server"));
  EXPECT_EQ(window.objectName(), QStringLiteral("fmServer"));
  EXPECT_EQ(window.size(), QSize(398, 584));
  EXPECT_EQ(window.pos(), QPoint(0, 0));

  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::Window));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));

  EXPECT_EQ(window.Label1->pos(), QPoint(160, 8));
  EXPECT_EQ(window.Label1->text(), QStringLiteral("Server running!"));
  EXPECT_EQ(window.lblLast->geometry(), QRect(8, 47, 382, 13));
  EXPECT_TRUE(window.lblLast->isHidden());
  EXPECT_EQ(window.memoLog->geometry(), QRect(8, 66, 382, 510));
  EXPECT_EQ(window.memoLog->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_FALSE(window.memoLog->isReadOnly());
  EXPECT_EQ(LogLineCount(window), 0);

  // Fonts: the design's families at 8 pt on a 96-dpi screen; the log's font is monospaced
  // whatever family fontconfig substitutes.
  EXPECT_EQ(window.font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(window.Label1->font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(window.font().pixelSize(), 11);
  EXPECT_EQ(window.memoLog->font().family(), QStringLiteral("Courier New"));
  EXPECT_EQ(window.memoLog->font().pixelSize(), 11);
  EXPECT_TRUE(QFontInfo(window.memoLog->font()).fixedPitch())
      << QFontInfo(window.memoLog->font()).family().toStdString();

  ASSERT_NE(window.icnTray, nullptr);
  EXPECT_TRUE(window.icnTray->isVisible()) << "the icon is shown even where no tray exists yet";
  EXPECT_EQ(window.icnTray->toolTip(), QStringLiteral("Kestova LED display"));
  EXPECT_TRUE(window.icnTray->contextMenu() == nullptr);
  ASSERT_FALSE(window.imgTray.isNull());
  EXPECT_EQ(window.imgTray.availableSizes(), QList<QSize>{QSize(16, 16)});
  EXPECT_FALSE(window.windowIcon().isNull());
}

TEST(ServerWindowTest, LogFollowsEveryWindowEdge) {
  TfmServer window;
  window.show();
  window.resize(500, 700);
  EXPECT_EQ(window.memoLog->geometry(), QRect(8, 66, 484, 626));
  window.resize(300, 200);
  EXPECT_EQ(window.memoLog->geometry(), QRect(8, 66, 284, 126));
  EXPECT_EQ(window.Label1->pos(), QPoint(160, 8));
}

TEST(ServerWindowTest, CreationStartsTheServiceBeforeTheWindowShows) {
  QString labelDuringStart;
  bool visibleDuringStart = true;
  auto probe = std::make_shared<test::TServiceProbe>();
  struct TStartUp {
    explicit TStartUp(TfmServer::TLogEvent log) {
      log("COM started");
      log("MQTT started");
    }
  };
  TfmServer window([&](TfmServer::TLogEvent log) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* label = w->findChild<QLabel*>(QStringLiteral("Label1"))) {
        labelDuringStart = label->text();
        visibleDuringStart = w->isVisible();
      }
    }
    return std::make_unique<TStartUp>(std::move(log));
  });
  EXPECT_EQ(labelDuringStart, QStringLiteral("Server Not Running"));
  EXPECT_FALSE(visibleDuringStart);
  EXPECT_TRUE(window.HasService());
  EXPECT_EQ(window.Label1->text(), QStringLiteral("Server running!"));
  const QStringList lines = LogLines(window);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(MessageOf(lines[0]), QStringLiteral("COM started"));
  EXPECT_EQ(MessageOf(lines[1]), QStringLiteral("MQTT started"));
  EXPECT_FALSE(window.isVisible());
}

TEST(ServerWindowTest, StartThatThrowsIsLoggedAndTheLabelStillSaysRunning) {
  TfmServer window([](TfmServer::TLogEvent) -> TOwnedService { throw std::runtime_error("no eventfd left"); });
  EXPECT_FALSE(window.HasService());
  EXPECT_EQ(window.Label1->text(), QStringLiteral("Server running!"));
  const QStringList lines = LogLines(window);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(MessageOf(lines[0]), QStringLiteral("no eventfd left"));
}

TEST(ServerWindowTest, LogLineIsTimestampColonSpaceAndTheTextUnchanged) {
  TfmServer window;
  struct Case {
    std::string message;
    QString shown;
  };
  const std::vector<Case> cases = {
      {"MQTT started", QStringLiteral("MQTT started")},
      {"", QString()},
      {"  spaced  ", QStringLiteral("  spaced  ")},
      {"Subscribing to \"pos/display1\": Accepted", QStringLiteral("Subscribing to \"pos/display1\": Accepted")},
      {"Račun 12,50 €", QStringLiteral(u"Račun 12,50 €")},
  };
  for (const Case& c : cases) {
    const std::string before = LogTimestamp();
    window.Log(c.message);
    const std::string after = LogTimestamp();
    const QString line = LogLines(window).last();
    const auto match = kLogLine.match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    EXPECT_EQ(match.captured(2), c.shown);
    // The fixed-width timestamp sorts like the time it shows.
    const std::string stamp = match.captured(1).toStdString();
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);
    EXPECT_TRUE(window.lblLast->text().endsWith(QStringLiteral(": ") + c.shown));
    EXPECT_TRUE(kLogLine.match(window.lblLast->text()).hasMatch());
  }
  EXPECT_EQ(LogLines(window)[1].size(), QStringLiteral("2021-03-05 14.07.09: ").size()) << "empty message";
}

TEST(ServerWindowTest, LogClearsOnceItHoldsMoreThan600Lines) {
  TfmServer window;
  for (int i = 1; i <= 600; ++i) window.Log("line " + std::to_string(i));
  ASSERT_EQ(LogLineCount(window), 600);
  window.Log("line 601");
  ASSERT_EQ(LogLineCount(window), 601) << "600 lines are not yet too many";
  EXPECT_EQ(MessageOf(LogLines(window).last()), QStringLiteral("line 601"));
  window.Log("after the clear");
  const QStringList lines = LogLines(window);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(MessageOf(lines[0]), QStringLiteral("after the clear"));
  EXPECT_TRUE(window.lblLast->text().endsWith(QStringLiteral(": after the clear")));
}

TEST(ServerWindowTest, EveryLineOfAMultiLineMessageCountsTowardsTheLimit) {
  for (const std::string& message :
       {std::string("first\nsecond"), std::string("first\r\nsecond"), std::string("first\rsecond")}) {
    TfmServer window;
    for (int i = 1; i <= 599; ++i) window.Log("line " + std::to_string(i));
    window.Log(message);
    ASSERT_EQ(LogLineCount(window), 601);
    const QStringList lines = LogLines(window);
    EXPECT_EQ(MessageOf(lines[599]), QStringLiteral("first"));
    EXPECT_EQ(lines[600], QStringLiteral("second"));
    window.Log("next");
    EXPECT_EQ(LogLineCount(window), 1);
  }
}

TEST(ServerWindowTest, TimestampIsLocalTimeOnThe24HourClock) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* expected;
  };
  const Case cases[] = {
      {2021, 3, 5, 14, 7, 9, "2021-03-05 14.07.09"},
      {2021, 3, 5, 2, 5, 9, "2021-03-05 02.05.09"},
      {2024, 1, 2, 0, 0, 0, "2024-01-02 00.00.00"},
      {1999, 12, 31, 23, 59, 59, "1999-12-31 23.59.59"},
  };
  for (const Case& c : cases) {
    std::tm local{};
    local.tm_year = c.year - 1900;
    local.tm_mon = c.month - 1;
    local.tm_mday = c.day;
    local.tm_hour = c.hour;
    local.tm_min = c.minute;
    local.tm_sec = c.second;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(999);
    EXPECT_EQ(LogTimestamp(when), c.expected);
  }
}

TEST(ServerWindowTest, LinesFromOtherThreadsArriveOnTheMainThreadInCallOrder) {
  TfmServer window;
  constexpr int kLines = 300;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) window.Log("worker " + std::to_string(i));
  });
  worker.join();
  EXPECT_EQ(LogLineCount(window), 0) << "nothing is appended off the main thread";
  ASSERT_TRUE(WaitFor([&] { return LogLineCount(window) == kLines; }));
  const QStringList lines = LogLines(window);
  for (int i = 0; i < kLines; ++i) EXPECT_EQ(MessageOf(lines[i]), QStringLiteral("worker %1").arg(i));

  // A line logged on the main thread after a worker's line comes after it, even before the
  // event loop has run the worker's hand-over.
  std::thread reader([&] { window.Log("Connection lost."); });
  reader.join();
  window.Log("Reconnecting...");
  QStringList now = LogLines(window);
  ASSERT_EQ(now.size(), kLines + 2);
  EXPECT_EQ(MessageOf(now[kLines]), QStringLiteral("Connection lost."));
  EXPECT_EQ(MessageOf(now[kLines + 1]), QStringLiteral("Reconnecting..."));
  // The hand-over queued by the worker finds nothing left to do.
  MainThread().Drain();
  EXPECT_EQ(LogLineCount(window), kLines + 2);
}

TEST(ServerWindowTest, InterleavedLinesFromSeveralThreadsKeepEachThreadsOrder) {
  TfmServer window;
  constexpr int kPerThread = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&window, t] {
      for (int i = 0; i < kPerThread; ++i) window.Log(fmt::format("t{} {}", t, i));
    });
  for (int i = 0; i < kPerThread; ++i) window.Log(fmt::format("main {}", i));
  for (auto& t : threads) t.join();
  // 800 lines: the 602nd finds 601 and clears the log, so 199 remain, and no line went missing.
  ASSERT_TRUE(WaitFor([&] { return LogLineCount(window) == 4 * kPerThread - 601; })) << LogLineCount(window);
  std::map<QString, int> last;  // per sender, the last number seen
  for (const QString& line : LogLines(window)) {
    const QStringList parts = MessageOf(line).split(QLatin1Char(' '));
    ASSERT_EQ(parts.size(), 2);
    const int number = parts[1].toInt();
    const auto seen = last.find(parts[0]);
    if (seen != last.end()) {
      EXPECT_EQ(number, seen->second + 1) << line.toStdString();
    }
    last[parts[0]] = number;
  }
  for (const auto& [sender, number] : last) EXPECT_EQ(number, kPerThread - 1) << sender.toStdString();
}

TEST(ServerWindowTest, QueuedLinesForADestroyedWindowAreDropped) {
  auto window = std::make_unique<TfmServer>();
  std::thread worker([&] { window->Log("too late"); });
  worker.join();
  window.reset();
  EXPECT_NO_THROW(MainThread().Drain());
}

TEST(ServerWindowTest, WithoutATrayMinimisingLeavesAnOrdinaryMinimisedWindow) {
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has no tray";
  TfmServer window;
  window.show();
  window.Log("before");
  window.showMinimized();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(LogLineCount(window), 1) << "minimising is not logged";
}

TEST(ServerWindowTest, LeftClickOnTheTrayIconTogglesTheWindow) {
  TfmServer window;
  window.show();
  emit window.icnTray->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(window.isHidden());
  emit window.icnTray->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());

  window.showMinimized();
  emit window.icnTray->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized()) << "a minimised window is restored";

  for (auto reason : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context}) {
    emit window.icnTray->activated(reason);
    EXPECT_TRUE(window.isVisible());
  }
  EXPECT_EQ(LogLineCount(window), 0);
}

TEST(ServerWindowTest, ClosingWhileTheClientWaitsToReconnectEndsPromptly) {
  auto probe = std::make_shared<test::TServiceProbe>();
  TfmServer window([probe](TfmServer::TLogEvent log) {
    return std::make_unique<test::TReconnectingService>(std::move(log), probe);
  });
  window.show();
  ASSERT_TRUE(WaitFor([&] { return LogLines(window).size() == 4; }));
  const QStringList lines = LogLines(window);
  EXPECT_EQ(MessageOf(lines[1]), QStringLiteral("Connecting..."));
  EXPECT_EQ(MessageOf(lines[2]), QStringLiteral("Connection lost."));
  EXPECT_EQ(MessageOf(lines[3]), QStringLiteral("Reconnecting..."));

  // Closing the last window is what ends the desktop program's event loop.
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
  giveUp.start(std::chrono::seconds(10));
  QTimer::singleShot(0, &window, &QWidget::close);
  const auto started = std::chrono::steady_clock::now();
  const int status = QApplication::exec();
  const auto took = std::chrono::steady_clock::now() - started;

  EXPECT_EQ(status, 0) << "the event loop ended by itself, not by the 10 s guard";
  EXPECT_LT(took, std::chrono::seconds(5)) << "the reconnect wait is a minute";
  EXPECT_TRUE(probe->Destroyed) << "closing releases the service";
  EXPECT_TRUE(probe->WorkerEnded);
  EXPECT_TRUE(probe->LastHandOverRan) << "the main thread kept servicing while it waited for the worker";
  EXPECT_FALSE(window.HasService());
  EXPECT_EQ(LogLines(window).size(), 4) << "nothing is logged on the way out";
}

TEST(ServerWindowTest, DestroyingTheWindowWithoutClosingAlsoReleasesTheService) {
  auto probe = std::make_shared<test::TServiceProbe>();
  auto window = std::make_unique<TfmServer>([probe](TfmServer::TLogEvent log) {
    return std::make_unique<test::TReconnectingService>(std::move(log), probe);
  });
  ASSERT_TRUE(WaitFor([&] { return LogLines(*window).size() == 4; }));
  window.reset();
  EXPECT_TRUE(probe->Destroyed);
  EXPECT_TRUE(probe->WorkerEnded);
}

}  // namespace
}  // namespace kestova
