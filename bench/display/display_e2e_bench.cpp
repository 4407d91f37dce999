// Publishes SHOW_MESSAGE packets one at a time from an already connected client and measures
// the time until the last byte of the frame is read on the pty that kestova-displayd writes,
// then leaves the server idle and counts its wake-ups and CPU time.
//
// The line runs at 115200 bit/s and each message waits until the line has sent the frame
// before it (the server never hands the driver a frame sooner): what is measured is the
// latency of one message, not the line's speed.
//
//   display_e2e_bench [messages=1000] [idle_seconds=10]
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/display/server_under_test.h"

using namespace std::chrono;
using namespace kestova::bench;

namespace {

// Reads from the pty master until `count` bytes arrived; false on time-out.
bool ReadFrame(int fd, std::size_t count, std::string& got) {
  got.clear();
  char buf[256];
  while (got.size() < count) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 2000) <= 0) return false;
    const ssize_t n = read(fd, buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) return false;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

struct ProcStats {
  long long switches = 0;  // voluntary + involuntary context switches
  long long ticks = 0;     // user + system clock ticks
};

ProcStats Stats(pid_t pid) {
  ProcStats s;
  // Each thread counts its own switches, in /proc/PID/task/*/status.
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::ifstream ts(entry.path() / "status");
    for (std::string line; std::getline(ts, line);)
      if (line.find("ctxt_switches:") != std::string::npos) s.switches += std::stoll(line.substr(line.find(':') + 1));
  }
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::vector<std::string> f((std::istream_iterator<std::string>(fields)), std::istream_iterator<std::string>());
  s.ticks = std::stoll(f[11]) + std::stoll(f[12]);
  return s;
}

constexpr int kLineSpeed = 115200;
// Start, 8 data bits and a stop bit per character.
double LineMicros(std::size_t bytes) { return static_cast<double>(bytes) * 10 * 1e6 / kLineSpeed; }

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

  TServerUnderTest server;
  TRawPty pty;
  try {
    server.Start("ComPort=" + pty.Path + "\nComSpeed=" + std::to_string(kLineSpeed) + "\nWidth=20");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const int master = pty.Master.Get();

  std::vector<double> micros;
  std::string got;
  // The first message opens the port and is shown once it is open.
  const std::string first =
      "\x0C"
      "open\x0A\x0DTotal 12.50";
  server.Publish(TServerUnderTest::ShowMessage("open", "Total 12.50"));
  if (!ReadFrame(master, first.size(), got) || got != first) {
    std::fprintf(stderr, "the first message was not shown\n");
    return 1;
  }
  std::size_t previous = first.size();
  for (int i = 0; i < messages; ++i) {
    std::this_thread::sleep_for(microseconds(static_cast<long>(LineMicros(previous)) + 1));
    const std::string line1 = "Item " + std::to_string(100000 + i);
    const std::string text = TServerUnderTest::ShowMessage(line1, "Total 12.50");
    const std::size_t frameBytes = 1 + line1.size() + 2 + std::string("Total 12.50").size();
    const auto t0 = steady_clock::now();
    server.Publish(text);
    if (!ReadFrame(master, frameBytes, got)) {
      std::fprintf(stderr, "frame %d did not arrive\n", i);
      return 1;
    }
    micros.push_back(duration<double, std::micro>(steady_clock::now() - t0).count());
    previous = frameBytes;
  }
  std::sort(micros.begin(), micros.end());
  auto pct = [&](double p) { return micros[static_cast<std::size_t>(p * (micros.size() - 1))]; };
  std::printf("end-to-end SHOW_MESSAGE -> last frame byte, %d messages: p50 %.0f us, p99 %.0f us, max %.0f us\n",
              messages, pct(0.50), pct(0.99), micros.back());

  std::this_thread::sleep_for(1s);
  const ProcStats before = Stats(server.Pid());
  std::this_thread::sleep_for(seconds(idleSeconds));
  const ProcStats after = Stats(server.Pid());
  const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
  std::printf("idle server over %d s: %.1f wake-ups/s (context switches, all threads), CPU %.3f%%\n", idleSeconds,
              static_cast<double>(after.switches - before.switches) / idleSeconds,
              100.0 * static_cast<double>(after.ticks - before.ticks) / hz / idleSeconds);
  return 0;
}
