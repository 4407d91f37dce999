#pragma once
// Helpers for the window tests: waiting on the Qt event loop, reading the log back, and a
// stand-in service whose worker behaves like the MQTT client's threads.
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "app/gui/server_window.h"
#include "platform/main_thread.h"

namespace kestova::test {

// Runs the Qt event loop until `done` holds or `timeout` passes; sleeps while nothing happens.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The log's lines, as the user sees them (none for an empty log).
QStringList LogLines(const TfmServer& window);
int LogLineCount(const TfmServer& window);

// What a test can still look at after the window destroyed the stand-in.
struct TServiceProbe {
  std::atomic<bool> Destroyed{false};
  std::atomic<bool> WorkerEnded{false};
  std::atomic<bool> LastHandOverRan{false};
};

// A stand-in for the display service: its worker hands a status to the main thread
// synchronously, reports "Connection lost." straight from the worker, then waits to reconnect
// (for a minute, unless told to stop). On its way out the worker makes one more synchronous
// hand-over, so the window's main thread must keep servicing while it waits for the worker.
class TReconnectingService {
 public:
  TReconnectingService(TfmServer::TLogEvent log, std::shared_ptr<TServiceProbe> probe);
  ~TReconnectingService();

 private:
  void Run();

  TfmServer::TLogEvent FLog;
  std::shared_ptr<TServiceProbe> FProbe;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FStop = false;
  TWorkerThread FWorker;
};

}  // namespace kestova::test
