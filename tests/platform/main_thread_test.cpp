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

TEST(MainThreadTest, SynchronizeRunsOnTheMainThreadInCallOrderWithQueue) {
  TMainThread main;
  std::vector<int> order;
  std::thread::id ran_on;
  TWorkerThread worker(main);
  worker.Start("sync-order", [&] {
    main.Queue([&] { order.push_back(1); });
    main.Synchronize([&] {
      order.push_back(2);
      ran_on = std::this_thread::get_id();
    });
    main.Queue([&] { order.push_back(3); });
  });
  worker.Join();  // services the queue while waiting
  main.Drain();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ran_on, std::this_thread::get_id());
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
  std::atomic<int> handed_over{0};
  TWorkerThread worker(main);
  worker.Start("sync-many", [&] {
    for (int i = 0; i < 100; ++i) main.Synchronize([&] { ++handed_over; });
  });
  main.JoinPumping(worker);
  EXPECT_EQ(handed_over.load(), 100);
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
  std::mutex lock;
  std::condition_variable queued_changed;
  int queued = 0;
  main.SetWaker([&] {
    {
      std::lock_guard guard(lock);
      ++queued;
    }
    queued_changed.notify_all();
  });
  TWorkerThread worker(main);
  bool handed_over = false;
  main.Queue([&] { worker.Join(); });
  worker.Start("sync-behind", [&] { main.Synchronize([&] { handed_over = true; }); });
  {
    std::unique_lock guard(lock);
    ASSERT_TRUE(queued_changed.wait_for(guard, 10s, [&] { return queued == 2; }));
  }
  main.Drain();
  EXPECT_TRUE(handed_over);
  EXPECT_FALSE(worker.Running());
}

TEST(MainThreadTest, ShutdownReleasesWaitingWorkersAndRefusesNewTasks) {
  TMainThread main;
  std::atomic<bool> waiting{false};
  std::atomic<bool> gone{false};
  TWorkerThread worker(main);
  worker.Start("sync-gone", [&] {
    waiting = true;
    try {
      main.Synchronize([] {});
    } catch (const EMainThreadGone&) {
      gone = true;
    }
  });
  while (!waiting) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);  // let it reach the wait; the outcome is the same either way
  main.Shutdown();
  worker.Join();
  EXPECT_TRUE(gone);

  bool queued_ran = false;
  main.Queue([&] { queued_ran = true; });
  EXPECT_EQ(main.Drain(), 0u);
  EXPECT_FALSE(queued_ran);

  TWorkerThread late(main);
  std::atomic<bool> late_gone{false};
  late.Start("sync-late", [&] {
    try {
      main.Synchronize([] {});
    } catch (const EMainThreadGone&) {
      late_gone = true;
    }
  });
  late.Join();
  EXPECT_TRUE(late_gone);
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
  std::size_t drained_by_worker = 99;
  TWorkerThread worker(main);
  main.Queue([] {});
  worker.Start("not-main", [&] { drained_by_worker = main.Drain(); });
  worker.Join();
  EXPECT_EQ(drained_by_worker, 0u);
}

}  // namespace
}  // namespace kestova
