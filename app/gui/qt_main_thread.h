#pragma once
// The Qt side of the main-thread hand-over: while a TQtMainThreadPump exists, the Qt event loop
// runs the tasks that worker threads hand to the main thread. It watches the hand-over's
// wake-up descriptor with a socket notifier, so no worker ever calls into Qt, and a main thread
// that waits for a worker (TMainThread::JoinPumping) keeps servicing the hand-over without Qt.
//
// Thread safety: create, use and destroy it on the GUI thread; it binds the hand-over to that
// thread.
#include <QObject>

#include "platform/main_thread.h"

class QSocketNotifier;

namespace kestova {

class TQtMainThreadPump : public QObject {
  Q_OBJECT

 public:
  explicit TQtMainThreadPump(TMainThread& main = MainThread(), QObject* parent = nullptr);
  ~TQtMainThreadPump() override;

 private:
  void Pump();

  TMainThread& FMain;
  QSocketNotifier* FNotifier;  // owned through Qt parenting
};

}  // namespace kestova
