#include "app/gui/desktop_app.h"

#include <QApplication>

#include "app/gui/qt_main_thread.h"
#include "platform/main_thread.h"

namespace kestova {

int RunDesktopWindow(int argc, char** argv, TfmServer::TServiceStarter starter) {
  QApplication application(argc, argv);
  TQtMainThreadPump pump(MainThread());
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
