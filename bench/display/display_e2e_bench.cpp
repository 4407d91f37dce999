// Publishes SHOW_MESSAGE packets one at a time from an already connected client and measures
// the time until the last byte of the frame is read on the pty that kestova-displayd writes,
// then leaves the server idle and counts its wake-ups and CPU time.
//
//   display_e2e_bench [messages=1000] [idle_seconds=10]
#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono;
using namespace kestova;
using namespace kestova::test;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WaitForText(const std::string& path, const std::string& text, seconds timeout) {
  const auto end = steady_clock::now() + timeout;
  while (steady_clock::now() < end) {
    if (ReadFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// Reads from the pty master until `count` bytes arrived; false on time-out.
bool ReadFrame(int fd, std::size_t count, std::string& got) {
  got.clear();
  char buf[256];
  while (got.size() < count) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 2000) <= 0) return false;
    const ssize_t n = read(fd, buf, sizeof buf);
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

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

  TMosquittoBroker broker;
  broker.Start();
  TTempDir dir("kestova-e2e");

  int master = -1, slave = -1;
  char name[64];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  UniqueFd masterFd(master), slaveFd(slave);
  termios raw{};
  tcgetattr(master, &raw);
  cfmakeraw(&raw);
  tcsetattr(master, TCSANOW, &raw);

  const std::string settings = dir.WriteFile(
      "Settings.ini", std::string("[Settings]\nComPort=") + name + "\nWidth=20\n[Mqtt]\nBroker=127.0.0.1\nPort=" +
                          std::to_string(broker.Port()) + "\nClientID=Display1\nTopics=pos/display1\n");
  UniqueFd out(open(dir.File("server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  TChildProcess server({KESTOVA_DISPLAYD, "--settings", settings}, out.Get());
  if (!WaitForText(dir.File("server.log"), "Accepted", 15s)) {
    std::fprintf(stderr, "server did not subscribe:\n%s", ReadFile(dir.File("server.log")).c_str());
    return 1;
  }

  mosquitto_lib_init();
  mosquitto* mosq = mosquitto_new("bench-station", true, nullptr);
  if (mosquitto_connect(mosq, "127.0.0.1", broker.Port(), 60) != MOSQ_ERR_SUCCESS) return 1;
  mosquitto_loop_start(mosq);

  auto packet = [](const std::string& line1) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>B</sender><target>Display1</target>"
           "<command>SHOW_MESSAGE</command><params>LINE1=" + line1 + ",LINE2=Total 12.50</params></msg>";
  };
  // The first message opens the port and is not shown.
  const std::string first = packet("open");
  mosquitto_publish(mosq, nullptr, "pos/display1", static_cast<int>(first.size()), first.data(), 0, false);
  WaitForText(dir.File("server.log"), "Restarting COM port", 10s);
  std::this_thread::sleep_for(500ms);

  std::vector<double> micros;
  std::string got;
  for (int i = 0; i < messages; ++i) {
    const std::string line1 = "Item " + std::to_string(100000 + i);
    const std::string text = packet(line1);
    const std::size_t frameBytes = 1 + line1.size() + 2 + std::string("Total 12.50").size();
    const auto t0 = steady_clock::now();
    mosquitto_publish(mosq, nullptr, "pos/display1", static_cast<int>(text.size()), text.data(), 0, false);
    if (!ReadFrame(master, frameBytes, got)) {
      std::fprintf(stderr, "frame %d did not arrive\n", i);
      return 1;
    }
    micros.push_back(duration<double, std::micro>(steady_clock::now() - t0).count());
  }
  std::sort(micros.begin(), micros.end());
  auto pct = [&](double p) { return micros[static_cast<std::size_t>(p * (micros.size() - 1))]; };
  std::printf("end-to-end SHOW_MESSAGE -> last frame byte, %d messages: p50 %.0f us, p99 %.0f us, max %.0f us\n",
              messages, pct(0.50), pct(0.99), micros.back());

  mosquitto_loop_stop(mosq, true);
  mosquitto_disconnect(mosq);
  mosquitto_destroy(mosq);
  mosquitto_lib_cleanup();

  std::this_thread::sleep_for(1s);
  const ProcStats before = Stats(server.Pid());
  std::this_thread::sleep_for(seconds(idleSeconds));
  const ProcStats after = Stats(server.Pid());
  const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
  std::printf("idle server over %d s: %.1f wake-ups/s (context switches, all threads), CPU %.3f%%\n", idleSeconds,
              static_cast<double>(after.switches - before.switches) / idleSeconds,
              100.0 * static_cast<double>(after.ticks - before.ticks) / hz / idleSeconds);
  server.Stop();
  return 0;
}
