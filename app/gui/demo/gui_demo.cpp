// The server window with a stand-in service that reports a typical start-up, for screenshots
// and for trying the tray icon by hand. The stand-in logs its lines from a worker thread, as the
// MQTT client's threads do, and stops that thread when the window closes.
//
//   kestova-gui-demo [--quit-after SECONDS]
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/gui/desktop_app.h"
#include "app/gui/display_probe.h"
#include "app/gui/server_window.h"
#include "platform/main_thread.h"

namespace {

using kestova::TfmServer;

class TDemoService {
 public:
  explicit TDemoService(TfmServer::TLogEvent log) : FLog(std::move(log)) {
    for (const char* line : {"COM port setting (Settings.ComPort): COM1", "COM speed setting (Settings.ComSpeed): 9600",
                             "COM connecting to COM1", "COM started", "MQTT connecting to 127.0.0.1",
                             "MQTT clientID: Display", "MQTT username: ", "Connecting...", "MQTT started"})
      FLog(line);
    FWorker.Start("demo-client", [this] { Run(); });
  }
  ~TDemoService() {
    {
      std::lock_guard lock(FLock);
      FStop = true;
    }
    FChanged.notify_all();
    FWorker.Join();
  }

 private:
  // The broker's answers arrive a moment later, from the client's thread.
  void Run() {
    const std::vector<std::string> later = {"Subscribing to topics", "Subscribing to \"pos/display1\": Accepted",
                                            "Subscribing to \"pos/all\": Accepted"};
    for (const std::string& line : later) {
      std::unique_lock lock(FLock);
      if (FChanged.wait_for(lock, std::chrono::milliseconds(150), [this] { return FStop; })) return;
      lock.unlock();
      FLog(line);
    }
  }

  TfmServer::TLogEvent FLog;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FStop = false;
  kestova::TWorkerThread FWorker;
};

}  // namespace

int main(int argc, char** argv) {
  kestova::MainThread();  // bind the hand-over to this thread before any worker starts
  int quitAfter = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quit-after") == 0 && i + 1 < argc) {
      quitAfter = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: kestova-gui-demo [--quit-after SECONDS]\n");
      return 2;
    }
  }
  std::string why;
  if (!kestova::DisplayAvailable(why)) {
    std::fprintf(stderr, "kestova-gui-demo: %s\n", why.c_str());
    return 1;
  }
  return kestova::RunDesktopWindow(argc, argv, [quitAfter](TfmServer::TLogEvent log) {
    // Closing every window is what the user's close button does too.
    if (quitAfter > 0) QTimer::singleShot(std::chrono::seconds(quitAfter), qApp, &QApplication::closeAllWindows);
    return std::make_unique<TDemoService>(std::move(log));
  });
}
