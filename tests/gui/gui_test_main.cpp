// The GUI tests share one application object on Qt's offscreen platform (no display needed)
// and the process-wide main-thread hand-over bound to this thread, as in the desktop program.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/gui/qt_main_thread.h"
#include "platform/main_thread.h"

int main(int argc, char** argv) {
  // CTest sets this too; setting it here lets the binary run (and list its tests) on its own.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The tray icon's X11 fallback asks the offscreen platform for a signal it does not have; the
  // warning says nothing about our code, whose connections are checked when compiled.
  setenv("QT_LOGGING_RULES", "qt.core.qobject.connect=false", 0);
  kestova::MainThread();
  QApplication app(argc, argv);
  kestova::TQtMainThreadPump pump;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
