// Run: build-*/bench/serial/serial_bench
// - BM_QueuedFrame: one display frame (45 bytes) handed to the write queue, with the other
//   side of a pty reading everything; the caller never waits for the line.
// - BM_RefusedWriteWait: a write larger than the queue, refused after Buffers.WriteTimeout;
//   the counters give the process CPU time spent over that wait (a busy wait would use about
//   as much CPU as wall time).
// - BM_WaitCharTimeout: WaitChar with nothing arriving; the counters give the process CPU time
//   over the wait (it blocks in poll, no thread polls the queue).
// - BM_WaitCharWake: a byte written by the other side while WaitChar waits; the time from the
//   write to WaitChar's return.
// - BM_ReceivedByClient: bytes sent by the other side until a client has been handed all of
//   them (the data step reads up to an empty queue).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "serial/serial_comm.h"
#include "serial/serial_dispatcher.h"
#include "tests/serial/pty_pair.h"

namespace {

using namespace kestova;

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void BM_QueuedFrame(benchmark::State& state) {
  MainThread().BindToCurrentThread();
  test::TPtyPair pty;
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    char buf[4096];
    while (!stop) {
      pollfd p{pty.Master(), POLLIN, 0};
      if (poll(&p, 1, 50) > 0) [[maybe_unused]]
        ssize_t n = read(pty.Master(), buf, sizeof buf);
    }
  });
  {
    TSerialComm port;
    port.SetDeviceName(pty.SlavePath());
    port.SetBaudrate(br9600);
    port.SetSyncThreads(false);  // no main loop here to run the reports
    port.Open();
    const std::string frame =
        "\x0c"
        "Total            1.50\x0a\x0d"
        "Thank you, goodbye!";
    for (auto _ : state) {
      if (!port.WriteText(frame)) state.SkipWithError("frame not taken");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
  }
  stop = true;
  drain.join();
}
BENCHMARK(BM_QueuedFrame);

void BM_RefusedWriteWait(benchmark::State& state) {
  MainThread().BindToCurrentThread();
  test::TPtyPair pty;
  TSerialComm port;
  port.SetDeviceName(pty.SlavePath());
  port.SetBaudrate(br9600);
  port.Buffers().SetWriteTimeout(static_cast<int32_t>(state.range(0)));
  port.Open();
  const std::string tooBig(static_cast<std::size_t>(port.Buffers().WriteSize()) + 1, 'x');
  double cpuTotal = 0;
  double wallTotal = 0;
  for (auto _ : state) {
    const double cpu = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    try {
      port.WriteText(tooBig);
    } catch (const ESerialCommError&) {
    }
    wallTotal += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cpuTotal += CpuMs() - cpu;
  }
  state.counters["wait_ms"] = wallTotal / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = cpuTotal / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RefusedWriteWait)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_WaitCharTimeout(benchmark::State& state) {
  MainThread().BindToCurrentThread();
  test::TPtyPair pty;
  TSerialComm port;
  port.SetDeviceName(pty.SlavePath());
  port.Open();
  double cpuTotal = 0;
  for (auto _ : state) {
    const double cpu = CpuMs();
    if (port.WaitChar(static_cast<int32_t>(state.range(0)))) state.SkipWithError("a byte came");
    cpuTotal += CpuMs() - cpu;
  }
  state.counters["cpu_ms"] = cpuTotal / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WaitCharTimeout)->Arg(500)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_WaitCharWake(benchmark::State& state) {
  MainThread().BindToCurrentThread();
  test::TPtyPair pty;
  TSerialComm port;
  port.SetDeviceName(pty.SlavePath());
  port.SetSyncThreads(false);  // the arrivals' dispatch runs on the event thread
  port.Open();
  double wakeTotal = 0;
  for (auto _ : state) {
    std::atomic<int64_t> writtenNs{0};
    std::thread device([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      writtenNs = std::chrono::steady_clock::now().time_since_epoch().count();
      [[maybe_unused]] const ssize_t n = write(pty.Master(), "w", 1);
    });
    if (!port.WaitChar(10000)) state.SkipWithError("no byte");
    const int64_t wokeNs = std::chrono::steady_clock::now().time_since_epoch().count();
    device.join();
    wakeTotal += static_cast<double>(wokeNs - writtenNs.load()) / 1e6;
    char ch = 0;
    port.ReadChar(ch);
  }
  state.counters["wake_ms"] = wakeTotal / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WaitCharWake)->Iterations(20)->Unit(benchmark::kMillisecond);

class TCountingUser : public ISerialCommUser {
 public:
  void LineChanged(uint32_t) override {}
  void DataChanged(const uint8_t*, int32_t Count) override {
    {
      std::lock_guard lock(FLock);
      FReceived += Count;
    }
    FArrived.notify_all();
  }
  int64_t Received() {
    std::lock_guard lock(FLock);
    return FReceived;
  }
  void WaitFor(int64_t total) {
    std::unique_lock lock(FLock);
    FArrived.wait(lock, [&] { return FReceived >= total; });
  }

 private:
  std::mutex FLock;
  std::condition_variable FArrived;
  int64_t FReceived = 0;
};

void BM_ReceivedByClient(benchmark::State& state) {
  MainThread().BindToCurrentThread();
  test::TPtyPair pty;
  TSerialComm port;
  port.SetDeviceName(pty.SlavePath());
  port.SetSyncThreads(false);
  TCountingUser user;
  TSerialDispatcher client(user);
  port.InsertClient(&client);
  port.Open();
  const std::string block(static_cast<std::size_t>(state.range(0)), 'r');
  for (auto _ : state) {
    const int64_t target = user.Received() + static_cast<int64_t>(block.size());
    std::size_t done = 0;
    while (done < block.size()) {
      const ssize_t n = write(pty.Master(), block.data() + done, block.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      pollfd p{pty.Master(), POLLOUT, 0};
      if (n <= 0) poll(&p, 1, 100);
    }
    user.WaitFor(target);
  }
  port.Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReceivedByClient)->Arg(64 * 1024)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
