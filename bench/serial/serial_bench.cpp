// Run: build-*/bench/serial/serial_bench
// - BM_QueuedFrame: one display frame (45 bytes) handed to the write queue, with the other
//   side of a pty reading everything; the caller never waits for the line.
// - BM_RefusedWriteWait: a write larger than the queue, refused after Buffers.WriteTimeout;
//   the counters give the process CPU time spent over that wait (a busy wait would use about
//   as much CPU as wall time).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "serial/serial_comm.h"

namespace {

using namespace kestova;

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Pty {
  Pty() {
    char name[256] = {};
    openpty(&master, &slave, name, nullptr, nullptr);
    path = name;
  }
  ~Pty() {
    close(master);
    close(slave);
  }
  int master = -1, slave = -1;
  std::string path;
};

void BM_QueuedFrame(benchmark::State& state) {
  MainThread().BindToCurrentThread();
  Pty pty;
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    char buf[4096];
    while (!stop) {
      pollfd p{pty.master, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) [[maybe_unused]] ssize_t n = read(pty.master, buf, sizeof buf);
    }
  });
  {
    TSerialComm port;
    port.SetDeviceName(pty.path);
    port.SetBaudrate(br9600);
    port.SetSyncThreads(false);  // no main loop here to run the reports
    port.Open();
    const std::string frame = "\x0c" "Total            1.50\x0a\x0d" "Thank you, goodbye!";
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
  Pty pty;
  TSerialComm port;
  port.SetDeviceName(pty.path);
  port.SetBaudrate(br9600);
  port.Buffers().SetWriteTimeout(static_cast<int32_t>(state.range(0)));
  port.Open();
  const std::string too_big(static_cast<std::size_t>(port.Buffers().WriteSize()) + 1, 'x');
  double cpu_total = 0;
  double wall_total = 0;
  for (auto _ : state) {
    const double cpu = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    try {
      port.WriteText(too_big);
    } catch (const ESerialCommError&) {
    }
    wall_total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cpu_total += CpuMs() - cpu;
  }
  state.counters["wait_ms"] = wall_total / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = cpu_total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RefusedWriteWait)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
