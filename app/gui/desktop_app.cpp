#include "app/gui/desktop_app.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "app/gui/qt_main_thread.h"
#include "platform/event_loop.h"
#include "platform/main_thread.h"
#include "platform/unique_fd.h"

namespace kestova {

int RunDesktopWindow(int argc, char** argv, TfmServer::TServiceStarter starter) {
  // Before Qt starts its own threads, so that they inherit the blocked signals.
  TEventLoop::BlockTerminationSignals();
  QApplication application(argc, argv);
  TQtMainThreadPump pump(MainThread());
  // SIGINT and SIGTERM end the program as closing the window does: the event loop ends and the
  // window releases the service, its client and its port, instead of the process dying mid-write.
  const UniqueFd signalFd = TEventLoop::OpenTerminationSignalFd();
  QSocketNotifier signalNotifier(signalFd.Get(), QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, &application, [&] {
    signalfd_siginfo info;
    while (read(signalFd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    QApplication::quit();
  });
  int status = 0;
  {
    TfmServer fmServer(std::move(starter), MainThread());
    fmServer.show();
    status = QApplication::exec();
  }
  MainThread().Shutdown();
  return status;
}

}  // namespace kestova
