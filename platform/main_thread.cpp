#include "platform/main_thread.h"

#include <pthread.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstring>
#include <future>

namespace kestova {

TMainThread::TMainThread() : FMainId(std::this_thread::get_id()), FWakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!FWakeFd) throw Exception(Format("Cannot create the main-thread wake-up: %s", std::strerror(errno)));
}

TMainThread::~TMainThread() { Shutdown(); }

void TMainThread::BindToCurrentThread() noexcept { FMainId.store(std::this_thread::get_id()); }

bool TMainThread::IsMainThread() const noexcept { return FMainId.load() == std::this_thread::get_id(); }

void TMainThread::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(FLock);
  FWaker = std::move(waker);
}

void TMainThread::Wake() {
  const uint64_t one = 1;
  // A full counter still reads as readable, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t n = write(FWakeFd.Get(), &one, sizeof one);
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

void TMainThread::Synchronize(Task task) {
  if (IsMainThread()) {
    task();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> result = done->get_future();
  {
    std::lock_guard lock(FLock);
    if (FShutDown) throw EMainThreadGone();
    // Only the queued task holds the promise: dropping the task unrun breaks it and so
    // releases this waiter.
    FTasks.push_back([done = std::move(done), task = std::move(task)] {
      try {
        task();
        done->set_value();
      } catch (...) {
        done->set_exception(std::current_exception());
      }
    });
  }
  FChanged.notify_all();
  Wake();
  try {
    result.get();
  } catch (const std::future_error&) {
    // The task was dropped unrun by Shutdown.
    throw EMainThreadGone();
  }
}

std::size_t TMainThread::Drain() {
  if (!IsMainThread()) return 0;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(FWakeFd.Get(), &count, sizeof count);
  // Only what is queued now: tasks queued meanwhile signal the wake-up again and run next time.
  std::deque<Task> batch;
  {
    std::lock_guard lock(FLock);
    batch.swap(FTasks);
  }
  std::size_t ran = 0;
  while (!batch.empty()) {
    Task task = std::move(batch.front());
    batch.pop_front();
    try {
      task();
    } catch (...) {
      // Keep the rest, in order, for the next drain, and let the loop see the error.
      std::lock_guard lock(FLock);
      FTasks.insert(FTasks.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
      if (!FTasks.empty()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = write(FWakeFd.Get(), &one, sizeof one);
      }
      throw;
    }
    ++ran;
  }
  return ran;
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
  // Destroying the dropped tasks breaks their promises, which releases the waiting workers.
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
