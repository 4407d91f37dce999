#include "app/gui/qt_main_thread.h"

#include <QSocketNotifier>
#include <cstdio>
#include <exception>

namespace kestova {

TQtMainThreadPump::TQtMainThreadPump(TMainThread& main, QObject* parent)
    : QObject(parent), FMain(main), FNotifier(new QSocketNotifier(main.WakeFd(), QSocketNotifier::Read, this)) {
  FMain.BindToCurrentThread();
  connect(FNotifier, &QSocketNotifier::activated, this, &TQtMainThreadPump::Pump);
  // Tasks queued before the pump existed have already signalled the descriptor; the notifier
  // sees it readable on the first pass of the event loop.
}

TQtMainThreadPump::~TQtMainThreadPump() = default;

void TQtMainThreadPump::Pump() {
  // A task that runs a nested event loop must not re-enter the drain.
  FNotifier->setEnabled(false);
  try {
    FMain.Drain();
  } catch (const std::exception& error) {
    // Qt cannot carry an exception out of its event loop. The tasks after the failed one stay
    // queued and have signalled the descriptor again, so they run on the next pass.
    std::fprintf(stderr, "Main-thread task failed: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "Main-thread task failed\n");
  }
  FNotifier->setEnabled(true);
}

}  // namespace kestova
