#include "tests/gui/gui_test_support.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

namespace kestova::test {

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.start(timeout);
  while (!done() && deadline.isActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

QStringList LogLines(const TfmServer& window) {
  if (window.memoLog->document()->isEmpty()) return {};
  return window.memoLog->toPlainText().split(QLatin1Char('\n'));
}

int LogLineCount(const TfmServer& window) {
  const QTextDocument* log = window.memoLog->document();
  return log->isEmpty() ? 0 : log->blockCount();
}

TReconnectingService::TReconnectingService(TfmServer::TLogEvent log, std::shared_ptr<TServiceProbe> probe)
    : FLog(std::move(log)), FProbe(std::move(probe)) {
  FLog("MQTT started");
  FWorker.Start("fake-reader", [this] { Run(); });
}

TReconnectingService::~TReconnectingService() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FChanged.notify_all();
  FWorker.Join();
  FProbe->WorkerEnded = FWorker.Ended();
  FProbe->Destroyed = true;
}

void TReconnectingService::Run() {
  MainThread().Synchronize([this] { FLog("Connecting..."); });
  FLog("Connection lost.");
  MainThread().Synchronize([this] { FLog("Reconnecting..."); });
  {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, std::chrono::minutes(1), [this] { return FStop; });
  }
  try {
    MainThread().Synchronize([this] { FProbe->LastHandOverRan = MainThread().IsMainThread(); });
  } catch (const EMainThreadGone&) {
  }
}

}  // namespace kestova::test
