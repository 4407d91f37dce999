#include "platform/event_loop.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace kestova {
namespace {

using namespace std::chrono_literals;

TEST(EventLoopTest, RunsWorkerTasksTimersAndQuitsFromAnyThread) {
  TMainThread main;
  TEventLoop loop(main);
  std::vector<std::string> seen;
  loop.CallAfter(30ms, [&] { seen.push_back("timer 30"); });
  const auto cancelled = loop.CallAfter(10ms, [&] { seen.push_back("cancelled"); });
  loop.CancelTimer(cancelled);
  loop.CallAfter(0ms, [&] { seen.push_back("timer 0"); });
  TWorkerThread worker(main);
  worker.Start("loop-worker", [&] {
    main.Synchronize([&] { seen.push_back("sync"); });
    std::this_thread::sleep_for(60ms);
    loop.Quit(7);
  });
  EXPECT_EQ(loop.Run(), 7);
  worker.Join();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen.back(), "timer 30");
}

TEST(EventLoopTest, TerminationSignalsArriveOnTheMainThread) {
  TEventLoop::BlockTerminationSignals();
  TMainThread main;
  TEventLoop loop(main);
  int got = 0;
  std::thread::id handledOn;
  loop.SetSignalHandler([&](int signo) {
    got = signo;
    handledOn = std::this_thread::get_id();
    loop.Quit(0);
  });
  loop.CallAfter(5ms, [] { kill(getpid(), SIGTERM); });
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(got, SIGTERM);
  EXPECT_EQ(handledOn, std::this_thread::get_id());
}

TEST(EventLoopTest, WithoutAHandlerASignalEndsTheLoop) {
  TEventLoop::BlockTerminationSignals();
  TMainThread main;
  TEventLoop loop(main);
  loop.CallAfter(5ms, [] { kill(getpid(), SIGINT); });
  EXPECT_EQ(loop.Run(), 128 + SIGINT);
}

TEST(EventLoopTest, NothingHangsAfterTheLoopHasEnded) {
  TMainThread main;
  TEventLoop loop(main);
  loop.CallAfter(1ms, [&] { loop.Quit(0); });
  loop.Run();
  // A worker handing over after the loop ended is serviced while the main thread joins it...
  std::atomic<int> ran{0};
  TWorkerThread worker(main);
  worker.Start("after-loop", [&] { main.Synchronize([&] { ++ran; }); });
  worker.Join();
  EXPECT_EQ(ran.load(), 1);
  // ...and once shut down, released with an error instead of waiting forever.
  main.Shutdown();
  std::atomic<bool> released{false};
  TWorkerThread late(main);
  late.Start("after-shutdown", [&] {
    try {
      main.Synchronize([] {});
    } catch (const EMainThreadGone&) {
      released = true;
    }
  });
  late.Join();
  EXPECT_TRUE(released);
}

}  // namespace
}  // namespace kestova
