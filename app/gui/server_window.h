#pragma once
// The server window: a label that says whether the server was started, a running log of
// everything the display service reports, and a tray icon that keeps the program reachable
// while the window is minimised.
//
// Start-up seam: the window is given a start-up routine (TServiceStarter) and calls it once
// from its creation handler, before the window is first shown, with the window's own Log as
// the service's log callback. Whatever the routine returns is owned by the window and
// destroyed when the window is closed (or destroyed, whichever comes first). The desktop
// program passes the routine that creates and starts the display service:
//
//   TfmServer fmServer(&CreateAndStartService);   // std::unique_ptr<TService>(TLogEvent)
//
// Without a routine (tests, the demo) the window starts nothing.
//
// Thread safety: Log may be called from any thread; a line logged on another thread is handed
// to the main thread and appended there, in call order. Everything else belongs to the main
// (GUI) thread, which must also be the thread the main-thread hand-over is bound to.
#include <QIcon>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/gui/owned_service.h"
#include "platform/main_thread.h"

class QLabel;
class QPlainTextEdit;
class QSystemTrayIcon;

namespace kestova {

class TfmServer : public QWidget {
  Q_OBJECT

 public:
  // The display service's log callback: one message, no result.
  using TLogEvent = std::function<void(const std::string& MsgTxt)>;
  using TServiceStarter = std::function<TOwnedService(TLogEvent log)>;

  explicit TfmServer(TServiceStarter starter = {}, TMainThread& main = MainThread(), QWidget* parent = nullptr);
  ~TfmServer() override;

  // Appends "yyyy-mm-dd hh.nn.ss: " + MsgTxt to the log; clears the log first once it holds
  // more than 600 lines. Any thread.
  void Log(const std::string& MsgTxt);

  // True while the service the start-up routine returned is still owned (main thread).
  bool HasService() const noexcept { return static_cast<bool>(FService); }

  // The controls, owned by the window (Qt parent ownership). Main thread only.
  QLabel* Label1 = nullptr;
  QLabel* lblLast = nullptr;
  QPlainTextEdit* memoLog = nullptr;
  QSystemTrayIcon* icnTray = nullptr;
  QIcon imgTray;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void CreateTrayIcon();
  void FormCreate(const TServiceStarter& starter);

  void AppendLine(const std::string& MsgTxt);
  void AppendPending();
  void ToggleFromTray();
  void HideToTray();
  void ReleaseService() noexcept;

  TMainThread& FMain;
  TOwnedService FService;

  // Lines logged on other threads, waiting for the main thread. A line logged on the main thread
  // first appends these, so the log keeps the order of the calls.
  std::mutex FPendingLock;
  std::deque<std::string> FPending;
  // FAlive is cleared by the destructor on the main thread; a queued append that runs after it
  // finds the window gone and does nothing. FAliveWeak never changes after construction, so
  // other threads may copy it.
  std::shared_ptr<TfmServer*> FAlive;
  std::weak_ptr<TfmServer*> FAliveWeak;
};

}  // namespace kestova
