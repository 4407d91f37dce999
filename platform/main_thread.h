#pragma once
// The main thread hand-over. Worker threads give their events to the main thread either
// asynchronously (Queue) or synchronously (Synchronize: the worker waits until the main thread
// has run the task). A backend (the headless event loop, or the Qt loop) wakes the main thread
// through WakeFd() or a waker callback and calls Drain() there.
//
// Thread safety: Queue, Synchronize and Shutdown may be called from any thread; Drain and
// JoinPumping do their servicing only on the main thread.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/deadline.h"
#include "platform/exception.h"
#include "platform/wake_event.h"

namespace kestova {

// Raised in a worker whose task the main thread will never run (the hand-over was shut down).
class EMainThreadGone : public Exception {
 public:
  EMainThreadGone() : Exception("The main thread no longer runs tasks") {}
};

class TWorkerThread;

class TMainThread {
 public:
  using Task = std::function<void()>;

  // Binds the hand-over to the calling thread.
  TMainThread();
  ~TMainThread();
  TMainThread(const TMainThread&) = delete;
  TMainThread& operator=(const TMainThread&) = delete;

  void BindToCurrentThread() noexcept;
  bool IsMainThread() const noexcept;

  // Run `task` on the main thread later; dropped once shut down.
  void Queue(Task task);
  // Run `task` on the main thread and wait for it; runs inline on the main thread itself.
  // An exception thrown by the task is rethrown here. Raises EMainThreadGone after Shutdown.
  void Synchronize(Task task);

  // Run what is queued now (main thread only). Returns the number of tasks run.
  std::size_t Drain();
  // On the main thread: run the tasks the workers hand over, sleeping on the wake-up between
  // them, until `done` holds or `deadline` passes; returns done(). For a main thread that must
  // wait for an answer that arrives through its own tasks (an acknowledgement, say). `done` is
  // checked after each wake-up, so it must turn true through a task. Elsewhere: done() at once.
  bool RunTasksUntil(const std::function<bool()>& done, TDeadline deadline);
  // Wait on the main thread until `worker` has ended, running queued tasks meanwhile so that
  // a worker blocked in Synchronize can finish; then join it. On another thread: a plain join.
  void JoinPumping(TWorkerThread& worker);

  // Refuse new tasks and release every waiting worker with EMainThreadGone. Reopen undoes it.
  void Shutdown();
  void Reopen();
  bool IsShutDown() const;

  // Readable (an eventfd) while tasks are pending; the headless loop polls it.
  int WakeFd() const noexcept { return FWake.Fd(); }
  // Called after every Queue/Synchronize from the queuing thread (the Qt backend's wake-up).
  void SetWaker(std::function<void()> waker);

 private:
  friend class TWorkerThread;
  void NotifyWorkerEnded();
  void Wake();

  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<Task> FTasks;
  bool FShutDown = false;
  std::atomic<std::thread::id> FMainId;
  std::function<void()> FWaker;
  TWakeEvent FWake;
};

// The process-wide hand-over, bound to the thread that first asks for it (normally main()).
TMainThread& MainThread();

// A named thread with one owner that starts and joins it; it tells the hand-over when it ends
// so JoinPumping can stop servicing. Never detached: the destructor joins.
class TWorkerThread {
 public:
  explicit TWorkerThread(TMainThread& main = MainThread()) : FMain(main) {}
  ~TWorkerThread();
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  void Start(const std::string& name, std::function<void()> body);
  bool Running() const noexcept { return FThread.joinable(); }
  bool Ended() const noexcept { return FEnded.load(); }
  bool IsCurrentThread() const noexcept { return FThread.get_id() == std::this_thread::get_id(); }
  // Join, servicing the main thread meanwhile when called on it.
  void Join();

 private:
  friend class TMainThread;
  TMainThread& FMain;
  std::thread FThread;
  std::atomic<bool> FEnded{false};
};

}  // namespace kestova
