#include "app/runtime/server_startup.h"

#include <signal.h>

#include "app/runtime/console_log.h"
#include "app/runtime/service_notify.h"
#include "platform/event_loop.h"

namespace kestova {

namespace {

// WATCHDOG=1 from the main loop itself: a main thread that no longer runs its loop stops the
// pings, and the service manager restarts the service.
void KeepTellingTheWatchdog(TEventLoop& loop, std::chrono::milliseconds interval) {
  loop.CallAfter(interval, [&loop, interval] {
    NotifyServiceManager("WATCHDOG=1");
    KeepTellingTheWatchdog(loop, interval);
  });
}

}  // namespace

std::unique_ptr<TKestovaDisplayService> CreateAndStartService(TLogEvent log, const std::string& settingsFile) {
  auto service = std::make_unique<TKestovaDisplayService>();
  KestovaDisplayService = service.get();
  service->SetOnLog(std::move(log));
  service->SetSettingsFileName(settingsFile);
  service->ServiceStartInternal();
  return service;
}

int RunHeadless(const std::string& settingsFile, bool serviceMode) {
  TEventLoop::BlockTerminationSignals();
  TMainThread& main = MainThread();
  main.BindToCurrentThread();
  TEventLoop loop(main);
  auto service = CreateAndStartService(&WriteConsoleLogLine, settingsFile);
  int exitCode = 0;
  loop.SetSignalHandler([&](int signo) {
    if (serviceMode && signo == SIGTERM) {
      bool stopped = true;
      service->ServiceStop(stopped);
      exitCode = 0;
    } else {
      // Like closing the window: no stop handler, the release below drops the connection.
      exitCode = serviceMode ? 0 : 128 + signo;
    }
    loop.Quit(exitCode);
  });
  if (serviceMode) {
    NotifyServiceManager("READY=1");
    if (const auto interval = ServiceWatchdogInterval()) KeepTellingTheWatchdog(loop, *interval);
  }
  loop.Run();
  if (serviceMode) NotifyServiceManager("STOPPING=1");
  // Released on the main thread, which keeps servicing the workers while it joins them.
  service.reset();
  main.Shutdown();
  return exitCode;
}

}  // namespace kestova
