#include "platform/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace kestova {
namespace {

using namespace std::chrono_literals;

// Counts the tasks handed to the main thread (its waker runs once per Queue or Synchronize,
// after the task is queued), so a test can wait until a worker's task is there.
class TQueuedTasks {
 public:
  explicit TQueuedTasks(TMainThread& main) : FMain(main) {
    FMain.SetWaker([this] {
      {
        std::lock_guard guard(FLock);
        ++FCount;
      }
      FChanged.notify_all();
    });
  }
  ~TQueuedTasks() { FMain.SetWaker(nullptr); }

  // True once `count` tasks were queued; false after a generous bound (a hang, not a timing).
  bool WaitFor(int count) {
    std::unique_lock guard(FLock);
    return FChanged.wait_for(guard, 10s, [&] { return FCount >= count; });
  }

 private:
  TMainThread& FMain;
  std::mutex FLock;
  std::condition_variable FChanged;
  int FCount = 0;
};

TEST(MainThreadTest, SynchronizeRunsOnTheMainThreadInCallOrderWithQueue) {
  TMainThread main;
  std::vector<int> order;
  std::thread::id ranOn;
  TWorkerThread worker(main);
  worker.Start("sync-order", [&] {
    main.Queue([&] { order.push_back(1); });
    main.Synchronize([&] {
      order.push_back(2);
      ranOn = std::this_thread::get_id();
    });
    main.Queue([&] { order.push_back(3); });
  });
  worker.Join();  // services the queue while waiting
  main.Drain();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(MainThreadTest, SynchronizeOnTheMainThreadRunsInline) {
  TMainThread main;
  bool ran = false;
  main.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(MainThreadTest, AnExceptionOfTheTaskReachesTheWorker) {
  TMainThread main;
  std::string caught;
  TWorkerThread worker(main);
  worker.Start("sync-throw", [&] {
    try {
      main.Synchronize([] { throw Exception("handler failed"); });
    } catch (const Exception& e) {
      caught = e.Message();
    }
  });
  worker.Join();
  EXPECT_EQ(caught, "handler failed");
}

TEST(MainThreadTest, JoinPumpingReleasesAWorkerBlockedInSynchronize) {
  TMainThread main;
  std::atomic<int> handedOver{0};
  TWorkerThread worker(main);
  worker.Start("sync-many", [&] {
    for (int i = 0; i < 100; ++i) main.Synchronize([&] { ++handedOver; });
  });
  main.JoinPumping(worker);
  EXPECT_EQ(handedOver.load(), 100);
  EXPECT_FALSE(worker.Running());
}

// The main thread waits for an answer that a worker hands over (a stop waiting for the broker's
// acknowledgement): it runs the tasks meanwhile, and gives up at its deadline otherwise.
TEST(MainThreadTest, RunTasksUntilRunsHandedOverTasksUntilDoneOrTheDeadline) {
  TMainThread main;
  bool answered = false;
  TWorkerThread worker(main);
  worker.Start("answer", [&] {
    for (int i = 0; i < 3; ++i) main.Synchronize([] {});
    main.Queue([&] { answered = true; });
  });
  EXPECT_TRUE(main.RunTasksUntil([&] { return answered; }, TDeadline::Never()));
  main.JoinPumping(worker);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(main.RunTasksUntil([] { return false; }, TDeadline::After(50ms)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

// A task that joins a worker (as closing a port does from an event handler) while the task
// that worker waits for is queued behind it, both queued before the drain began.
TEST(MainThreadTest, ATaskJoiningAWorkerRunsTheTaskQueuedBehindItThatTheWorkerWaitsFor) {
  TMainThread main;
  TQueuedTasks queued(main);
  TWorkerThread worker(main);
  bool handedOver = false;
  main.Queue([&] { worker.Join(); });
  worker.Start("sync-behind", [&] { main.Synchronize([&] { handedOver = true; }); });
  ASSERT_TRUE(queued.WaitFor(2));
  main.Drain();
  EXPECT_TRUE(handedOver);
  EXPECT_FALSE(worker.Running());
}

TEST(MainThreadTest, ShutdownReleasesWaitingWorkersAndRefusesNewTasks) {
  TMainThread main;
  TQueuedTasks queued(main);
  std::atomic<bool> gone{false};
  TWorkerThread worker(main);
  worker.Start("sync-gone", [&] {
    try {
      main.Synchronize([] {});
    } catch (const EMainThreadGone&) {
      gone = true;
    }
  });
  // Its task is queued: the worker waits for it (or is about to, which ends the same way).
  ASSERT_TRUE(queued.WaitFor(1));
  main.Shutdown();
  worker.Join();
  EXPECT_TRUE(gone);

  bool queuedRan = false;
  main.Queue([&] { queuedRan = true; });
  EXPECT_EQ(main.Drain(), 0u);
  EXPECT_FALSE(queuedRan);

  TWorkerThread late(main);
  std::atomic<bool> lateGone{false};
  late.Start("sync-late", [&] {
    try {
      main.Synchronize([] {});
    } catch (const EMainThreadGone&) {
      lateGone = true;
    }
  });
  late.Join();
  EXPECT_TRUE(lateGone);
}

TEST(MainThreadTest, ATaskThatQueuesAnotherRunsItOnTheNextDrain) {
  TMainThread main;
  int runs = 0;
  main.Queue([&] {
    ++runs;
    main.Queue([&] { ++runs; });
  });
  EXPECT_EQ(main.Drain(), 1u);
  EXPECT_EQ(main.Drain(), 1u);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(main.Drain(), 0u);
}

TEST(MainThreadTest, AThrowingQueuedTaskKeepsTheRestInOrder) {
  TMainThread main;
  std::vector<int> order;
  main.Queue([] { throw std::runtime_error("boom"); });
  main.Queue([&] { order.push_back(1); });
  main.Queue([&] { order.push_back(2); });
  EXPECT_THROW(main.Drain(), std::runtime_error);
  main.Drain();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainThreadTest, WorkersNeverRunTasksThemselves) {
  TMainThread main;
  std::size_t drainedByWorker = 99;
  TWorkerThread worker(main);
  main.Queue([] {});
  worker.Start("not-main", [&] { drainedByWorker = main.Drain(); });
  worker.Join();
  EXPECT_EQ(drainedByWorker, 0u);
}

}  // namespace
}  // namespace kestova
