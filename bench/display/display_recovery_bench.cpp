// How fast kestova-displayd shows its newest text and comes back from faults, measured on the
// server as an integrator runs it (a real mosquitto, the display on a pseudo-terminal):
// - after a burst of SHOW_MESSAGE packets published at full speed, the delay from publishing one
//   more to its last byte on the display, with the display read as fast as it comes and at a
//   real 9600-baud line's 960 bytes per second;
// - a hang-up during such a burst: the delay until "Connection errors: 1024" is logged;
// - a replug (the pty's master closed, its link removed, a new pty linked at the same path):
//   the delay until the hang-up is logged, and from the new link to the last frame on it;
// - a device that appears only after the start: from its link to the frame that found it missing.
//
//   display_recovery_bench [burst=5000] [replugs=10]
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/display/server_under_test.h"

using namespace std::chrono;
using namespace kestova::bench;

namespace {

using Clock = steady_clock;

double Ms(Clock::duration d) { return duration<double, std::milli>(d).count(); }

// The display's side of a pty: reads what comes, at most `bytesPerSecond` (0: as fast as it
// comes), and notes when a text was first complete.
class TDisplayReader {
 public:
  TDisplayReader(int master, int bytesPerSecond) : FMaster(master), FRate(bytesPerSecond) {
    FThread = std::thread([this] { Run(); });
  }
  ~TDisplayReader() { Stop(); }
  void Stop() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
  }
  // When `text` was complete on the display, waiting up to `timeout` for it.
  bool WaitFor(const std::string& text, Clock::time_point& when, milliseconds timeout = 120s) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
      {
        std::lock_guard lock(FLock);
        const auto at = FShown.find(text);
        if (at != std::string::npos) {
          for (const auto& [offset, time] : FTimes)
            if (offset >= at + text.size()) {
              when = time;
              return true;
            }
        }
      }
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }

 private:
  void Run() {
    const auto start = Clock::now();
    std::size_t consumed = 0;
    char buf[4096];
    while (!FStop) {
      pollfd p{FMaster, POLLIN, 0};
      if (poll(&p, 1, 5) <= 0) continue;
      std::size_t want = sizeof buf;
      if (FRate > 0) {
        const auto allowed = static_cast<std::size_t>(duration<double>(Clock::now() - start).count() * FRate);
        if (allowed <= consumed) continue;
        want = std::min(want, allowed - consumed);
      }
      const ssize_t n = read(FMaster, buf, want);
      if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) return;
        continue;
      }
      consumed += static_cast<std::size_t>(n);
      std::lock_guard lock(FLock);
      FShown.append(buf, static_cast<std::size_t>(n));
      FTimes.emplace_back(FShown.size(), Clock::now());
    }
  }

  const int FMaster;
  const int FRate;
  std::atomic<bool> FStop{false};
  std::mutex FLock;
  std::string FShown;
  std::vector<std::pair<std::size_t, Clock::time_point>> FTimes;  // bytes read so far, and when
  std::thread FThread;
};

std::string Frame(const std::string& line1, const std::string& line2) { return "\x0C" + line1 + "\x0A\x0D" + line2; }

void Burst(int comSpeed, int readerRate, int messages) {
  TServerUnderTest server;
  TRawPty pty;
  server.Start("ComPort=" + pty.Path + "\nComSpeed=" + std::to_string(comSpeed));
  TDisplayReader display(pty.Master.Get(), readerRate);
  Clock::time_point when;
  server.Publish(TServerUnderTest::ShowMessage("open", ""));
  if (!display.WaitFor(Frame("open", ""), when)) throw std::runtime_error("the first message was not shown");

  const auto start = Clock::now();
  for (int i = 0; i < messages; ++i)
    server.Publish(TServerUnderTest::ShowMessage("Item " + std::to_string(i), "Total " + std::to_string(i)));
  const auto published = Clock::now();
  server.Publish(TServerUnderTest::ShowMessage("NEWEST", "Total 0"));
  if (!display.WaitFor(Frame("NEWEST", "Total 0"), when)) throw std::runtime_error("the newest text never showed");
  const int handled = CountText(server.LogFile(), "Packet reiceved");
  std::printf(
      "burst of %d, ComSpeed=%d, display reading %s: newest text on the display %.1f ms after the station "
      "queued it behind the burst (queued in %.0f ms; %d packets handled by then)\n",
      messages, comSpeed, readerRate > 0 ? (std::to_string(readerRate) + " bytes/s").c_str() : "at once",
      Ms(when - published), Ms(published - start), handled);
}

void HangUpDuringBurst(int messages) {
  TServerUnderTest server;
  TRawPty pty;
  server.Start("ComPort=" + pty.Path);
  auto display = std::make_unique<TDisplayReader>(pty.Master.Get(), 0);
  Clock::time_point when;
  server.Publish(TServerUnderTest::ShowMessage("open", ""));
  if (!display->WaitFor(Frame("open", ""), when)) throw std::runtime_error("the first message was not shown");
  Clock::time_point hungUp;
  for (int i = 0; i < messages; ++i) {
    server.Publish(TServerUnderTest::ShowMessage("Item " + std::to_string(i), "Total " + std::to_string(i)));
    if (i == messages / 2) {
      display->Stop();
      pty.Master.Reset();
      hungUp = Clock::now();
    }
  }
  if (!WaitForText(server.LogFile(), "Connection errors: 1024", 600s)) throw std::runtime_error("no hang-up line");
  std::printf("hang-up in the middle of a burst of %d: \"Connection errors: 1024\" logged %.1f ms after it\n", messages,
              Ms(Clock::now() - hungUp));
}

void Replugs(int cycles) {
  TServerUnderTest server;
  const std::string link = server.Folder("display");
  auto pty = std::make_unique<TRawPty>();
  std::filesystem::create_symlink(pty->Path, link);
  server.Start("ComPort=" + link);
  const std::string frame = Frame("Total", "12.50");
  auto display = std::make_unique<TDisplayReader>(pty->Master.Get(), 0);
  Clock::time_point when;
  server.Publish(TServerUnderTest::ShowMessage("Total", "12.50"));
  if (!display->WaitFor(frame, when)) throw std::runtime_error("the message was not shown");

  std::vector<double> reported, shown;
  for (int i = 0; i < cycles; ++i) {
    display->Stop();
    pty.reset();  // the master closes: the line hangs up
    const auto hungUp = Clock::now();
    if (!WaitForText(server.LogFile(), "Connection errors: 1024", 30s, i + 1))
      throw std::runtime_error("no hang-up line");
    reported.push_back(Ms(Clock::now() - hungUp));
    std::filesystem::remove(link);
    pty = std::make_unique<TRawPty>();
    display = std::make_unique<TDisplayReader>(pty->Master.Get(), 0);
    const auto linked = Clock::now();
    std::filesystem::create_symlink(pty->Path, link);
    if (!display->WaitFor(frame, when, 30s)) throw std::runtime_error("the frame did not come back");
    shown.push_back(Ms(when - linked));
  }
  std::sort(reported.begin(), reported.end());
  std::sort(shown.begin(), shown.end());
  std::printf(
      "replug, %d times: hang-up logged after median %.1f ms (max %.1f); last frame on the new device "
      "median %.1f ms (max %.1f) after its link appeared\n",
      cycles, reported[reported.size() / 2], reported.back(), shown[shown.size() / 2], shown.back());
}

void AppearsLater() {
  TServerUnderTest server;
  const std::string link = server.Folder("display");
  server.Start("ComPort=" + link);
  server.Publish(TServerUnderTest::ShowMessage("Waiting", ""));
  if (!WaitForText(server.LogFile(), "Specified device not found", 30s)) throw std::runtime_error("no open failure");
  TRawPty pty;
  TDisplayReader display(pty.Master.Get(), 0);
  const auto linked = Clock::now();
  std::filesystem::create_symlink(pty.Path, link);
  Clock::time_point when;
  if (!display.WaitFor(Frame("Waiting", ""), when, 30s)) throw std::runtime_error("the frame was not shown");
  std::printf(
      "device appearing after the start: the frame that found it missing shown %.1f ms after its link "
      "appeared\n",
      Ms(when - linked));
}

}  // namespace

int main(int argc, char** argv) {
  const int burst = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int replugs = argc > 2 ? std::atoi(argv[2]) : 10;
  try {
    Burst(9600, 0, burst);
    Burst(9600, 960, burst);
    Burst(115200, 0, burst);
    HangUpDuringBurst(burst);
    Replugs(replugs);
    AppearsLater();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "display_recovery_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
