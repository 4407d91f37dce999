#include "platform/main_thread.h"

#include <pthread.h>

#include <cstring>
#include <exception>
#include <memory>
#include <utility>

namespace kestova {

namespace {

[[noreturn]] void RaiseWakeError(int error) {
  throw Exception(Format("Cannot create the main-thread wake-up: %s", std::strerror(error)));
}

}  // namespace

TMainThread::TMainThread() : FMainId(std::this_thread::get_id()), FWake(RaiseWakeError) {}

TMainThread::~TMainThread() { Shutdown(); }

void TMainThread::BindToCurrentThread() noexcept { FMainId.store(std::this_thread::get_id()); }

bool TMainThread::IsMainThread() const noexcept { return FMainId.load() == std::this_thread::get_id(); }

void TMainThread::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(FLock);
  FWaker = std::move(waker);
}

void TMainThread::Wake() {
  FWake.Signal();
  std::function<void()> waker;
  {
    std::lock_guard lock(FLock);
    waker = FWaker;
  }
  if (waker) waker();
}

void TMainThread::Queue(Task task) {
  {
    std::lock_guard lock(FLock);
    if (FShutDown) return;
    FTasks.push_back(std::move(task));
  }
  FChanged.notify_all();
  Wake();
}

namespace {

// One synchronous hand-over. Our own mutex (rather than a promise) carries the result, so the
// hand-back is visible to ThreadSanitizer, which cannot see inside the standard library.
struct SyncCall {
  std::mutex lock;
  std::condition_variable finishedChanged;
  bool finished = false;
  bool ran = false;
  std::exception_ptr error;
};

// Held only by the queued task: when the task is destroyed, run or dropped unrun by Shutdown,
// the waiting worker is released.
struct SyncCompleter {
  explicit SyncCompleter(std::shared_ptr<SyncCall> c) : call(std::move(c)) {}
  SyncCompleter(const SyncCompleter&) = delete;
  SyncCompleter& operator=(const SyncCompleter&) = delete;
  std::shared_ptr<SyncCall> call;
  ~SyncCompleter() {
    {
      std::lock_guard guard(call->lock);
      call->finished = true;
    }
    call->finishedChanged.notify_all();
  }
};

}  // namespace

void TMainThread::Synchronize(Task task) {
  if (IsMainThread()) {
    task();
    return;
  }
  auto call = std::make_shared<SyncCall>();
  {
    auto completer = std::make_shared<SyncCompleter>(call);
    std::lock_guard lock(FLock);
    if (FShutDown) throw EMainThreadGone();
    FTasks.push_back([completer = std::move(completer), task = std::move(task)] {
      std::exception_ptr error;
      try {
        task();
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard guard(completer->call->lock);
      completer->call->ran = true;
      completer->call->error = std::move(error);
    });
  }
  FChanged.notify_all();
  Wake();
  std::unique_lock guard(call->lock);
  call->finishedChanged.wait(guard, [&] { return call->finished; });
  if (!call->ran) throw EMainThreadGone();
  // Take the error out of the shared record: otherwise the main thread, releasing the record
  // later, may drop the last reference to the exception while this thread still reads it,
  // and ThreadSanitizer cannot see the reference count inside the standard library.
  std::exception_ptr error = std::exchange(call->error, nullptr);
  guard.unlock();
  if (error) std::rethrow_exception(error);
}

std::size_t TMainThread::Drain() {
  if (!IsMainThread()) return 0;
  FWake.Consume();
  // Only what is queued now: tasks queued meanwhile signal the wake-up again and run next time.
  // They are taken one at a time, not as a batch: a task that waits for a worker (JoinPumping)
  // must find the tasks queued behind it, one of which may be what that worker waits for.
  std::size_t todo = 0;
  {
    std::lock_guard lock(FLock);
    todo = FTasks.size();
  }
  std::size_t ran = 0;
  while (ran < todo) {
    Task task;
    {
      std::lock_guard lock(FLock);
      if (FTasks.empty()) break;  // a task pumped the rest itself
      task = std::move(FTasks.front());
      FTasks.pop_front();
    }
    try {
      task();
    } catch (...) {
      // The rest stay queued, in order, for the next drain; let the loop see the error.
      std::lock_guard lock(FLock);
      if (!FTasks.empty()) FWake.Signal();
      throw;
    }
    ++ran;
  }
  return ran;
}

bool TMainThread::RunTasksUntil(const std::function<bool()>& done, TDeadline deadline) {
  if (!IsMainThread()) return done();
  for (;;) {
    Drain();
    if (done()) return true;
    if (deadline.Expired()) return false;
    FWake.Wait(deadline);
  }
}

void TMainThread::NotifyWorkerEnded() {
  { std::lock_guard lock(FLock); }  // pairs with the predicate check in JoinPumping
  FChanged.notify_all();
}

void TMainThread::JoinPumping(TWorkerThread& worker) {
  if (!worker.FThread.joinable()) return;
  if (IsMainThread()) {
    for (;;) {
      {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [&] { return worker.FEnded.load() || !FTasks.empty(); });
      }
      Drain();
      if (worker.FEnded.load()) break;
    }
  }
  worker.FThread.join();
}

void TMainThread::Shutdown() {
  std::deque<Task> dropped;
  {
    std::lock_guard lock(FLock);
    FShutDown = true;
    dropped.swap(FTasks);
  }
  FChanged.notify_all();
  // Destroying a dropped Synchronize task destroys its completer, which releases the worker
  // waiting for it with EMainThreadGone.
  dropped.clear();
}

void TMainThread::Reopen() {
  std::lock_guard lock(FLock);
  FShutDown = false;
}

bool TMainThread::IsShutDown() const {
  std::lock_guard lock(FLock);
  return FShutDown;
}

TMainThread& MainThread() {
  static TMainThread instance;
  return instance;
}

TWorkerThread::~TWorkerThread() { Join(); }

void TWorkerThread::Start(const std::string& name, std::function<void()> body) {
  Join();
  FEnded = false;
  FThread = std::thread([this, name, body = std::move(body)] {
    // Linux limits thread names to 15 characters.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    try {
      body();
    } catch (...) {
      // A worker must not take the process down; its owner learns of the end through Ended().
    }
    FEnded = true;
    FMain.NotifyWorkerEnded();
  });
}

void TWorkerThread::Join() {
  if (!FThread.joinable()) return;
  if (IsCurrentThread()) return;  // a thread cannot join itself; its owner joins it later
  FMain.JoinPumping(*this);
}

}  // namespace kestova
