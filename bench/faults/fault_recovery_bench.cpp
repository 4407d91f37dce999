// For each fault a counter meets, how long the headless server (kestova-displayd, run as a
// program against a real mosquitto) takes to notice it, and how long after the fault is gone
// it answers an ENUM_DISPLAYS_REQ again:
//   - the broker restarted after 2 s down (several runs, median) and after 30 s down,
//   - the broker down when the server starts, up a few seconds later,
//   - the path frozen in a proxy (both sockets open, nothing forwarded),
//   - a listener that accepts and never answers, which later forwards to the broker,
//   - the broker stopped with SIGSTOP for 60 s.
// "Noticed" is the time until the server logs "Connection lost." (or "Server unavailable." for
// the faults at start); "answered" is measured by probes, each a fresh client that subscribes
// to the answer topic, asks and waits briefly, sent one after another once the fault is gone.
//
//   fault_recovery_bench [runs of the 2 s restart = 5] [keep-alive seconds = 5]
#include <fcntl.h>
#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/output_watcher.h"
#include "tests/support/tcp_proxy.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono;
using namespace kestova;
using namespace kestova::test;

namespace {

using Clock = steady_clock;

constexpr const char* kAnswerTopic = "pos/displays";
constexpr const char* kRequestTopic = "pos/display1";
constexpr const char* kSubscribed = "Subscribing to \"pos/display1\": Accepted";
// The server's reconnect interval (the display service's design-time value).
constexpr int kReconnectInterval = 10;
// A connection counts as established (the reconnect schedule starts again at once when it is
// lost) after this long; the faults come later than that, as in a shop.
constexpr seconds kSettle{11};

double Seconds(Clock::duration d) { return duration<double>(d).count(); }

// One probe: a fresh client subscribes to the answer topic, asks, and waits up to wait for
// the answer. False when the broker cannot be reached or nobody answers.
bool Probe(uint16_t port, milliseconds wait) {
  struct TState {
    bool Answered = false;
    bool Asked = false;
  } state;
  mosquitto* m = mosquitto_new(nullptr, true, &state);
  if (!m) return false;
  mosquitto_connect_callback_set(m, [](mosquitto* mosq, void*, int rc) {
    if (rc == 0) mosquitto_subscribe(mosq, nullptr, kAnswerTopic, 0);
  });
  mosquitto_subscribe_callback_set(m, [](mosquitto* mosq, void* data, int, int, const int*) {
    static const std::string request =
        "<msg><sender>BENCH</sender><target></target><command>ENUM_DISPLAYS_REQ</command><params></params></msg>";
    mosquitto_publish(mosq, nullptr, kRequestTopic, static_cast<int>(request.size()), request.data(), 0, false);
    static_cast<TState*>(data)->Asked = true;
  });
  mosquitto_message_callback_set(m, [](mosquitto*, void* data, const mosquitto_message* message) {
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<std::size_t>(message->payloadlen));
    if (payload.find("ENUM_DISPLAYS_ANS") != std::string::npos) static_cast<TState*>(data)->Answered = true;
  });
  bool answered = false;
  if (mosquitto_connect(m, "127.0.0.1", port, 10) == MOSQ_ERR_SUCCESS) {
    const auto deadline = Clock::now() + wait;
    while (!state.Answered && Clock::now() < deadline) {
      if (mosquitto_loop(m, 20, 1) != MOSQ_ERR_SUCCESS) break;
    }
    answered = state.Answered;
    mosquitto_disconnect(m);
  }
  mosquitto_destroy(m);
  return answered;
}

// Probe until the server answers (or limit passes); the time of the answer.
std::optional<Clock::time_point> FirstAnswer(uint16_t port, seconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (Probe(port, milliseconds(150))) return Clock::now();
    // A refused connect returns at once; do not hammer the broker's port meanwhile.
    std::this_thread::sleep_for(milliseconds(20));
  }
  return std::nullopt;
}

// kestova-displayd with its own Settings.ini, its log lines collected.
class TServer {
 public:
  TServer(uint16_t port, int keepAlive) : FDir("kestova-faultbench") {
    // DisplayMode=2 drives no display: the benchmark is about the MQTT side only.
    const std::string settings = FDir.WriteFile(
        "Settings.ini", "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=127.0.0.1\nPort=" + std::to_string(port) +
                            "\nClientID=Display1\nTopics=" + kAnswerTopic + "," + kRequestTopic +
                            "\nKeepAlive=" + std::to_string(keepAlive) + "\n");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    Started = Clock::now();
    FProcess = std::make_unique<TChildProcess>(std::vector<std::string>{KESTOVA_DISPLAYD, "--settings", settings},
                                               writeEnd.Get());
    writeEnd.Reset();
    FLog.Watch(std::move(readEnd));
  }
  ~TServer() {
    FProcess->Stop();
    FLog.Join();
  }
  std::size_t Position() const { return FLog.Position(); }
  // When line appears after position (waiting up to limit).
  std::optional<Clock::time_point> WaitFor(const std::string& line, std::size_t position, seconds limit) const {
    if (!FLog.WaitFor(line, position, limit)) return std::nullopt;
    return Clock::now();
  }
  std::string Log() const { return FLog.Text(); }
  Clock::time_point Started;

 private:
  TTempDir FDir;
  TOutputWatcher FLog;
  std::unique_ptr<TChildProcess> FProcess;
};

struct TRun {
  std::optional<double> Noticed;   // seconds
  std::optional<double> Answered;  // seconds after the fault was gone
};

// The server up, subscribed, answering, and connected for long enough.
bool Ready(const TServer& server, uint16_t probePort) {
  if (!server.WaitFor(kSubscribed, 0, seconds(30))) {
    std::fprintf(stderr, "the server did not subscribe:\n%s\n", server.Log().c_str());
    return false;
  }
  if (!FirstAnswer(probePort, seconds(10))) return false;
  std::this_thread::sleep_for(kSettle);
  return true;
}

// One fault: it begins (inject, once the server is ready; or it is there from the server's
// start when inject is empty), the server notices it (notice appears in its log), it lasts at
// least lasting from its beginning and ends (restore), and the server answers again.
TRun Measure(const TServer& server, uint16_t probePort, const std::function<void()>& inject, const char* notice,
             seconds noticeLimit, Clock::duration lasting, const std::function<void()>& restore) {
  TRun run;
  std::size_t mark = 0;
  Clock::time_point begin = server.Started;
  if (inject) {
    if (!Ready(server, probePort)) return run;
    mark = server.Position();
    begin = Clock::now();
    inject();
  }
  if (const auto noticed = server.WaitFor(notice, mark, noticeLimit)) run.Noticed = Seconds(*noticed - begin);
  std::this_thread::sleep_until(begin + lasting);
  restore();
  const auto back = Clock::now();
  if (const auto answer = FirstAnswer(probePort, seconds(60))) run.Answered = Seconds(*answer - back);
  return run;
}

TRun BrokerRestart(seconds down, int keepAlive) {
  TMosquittoBroker broker;
  broker.Start();
  TServer server(broker.Port(), keepAlive);
  return Measure(
      server, broker.Port(), [&] { broker.Stop(); }, "Connection lost.", seconds(10), down, [&] { broker.Start(); });
}

TRun BrokerDownAtStart(seconds down, int keepAlive) {
  TMosquittoBroker broker;
  broker.ChoosePorts();
  TServer server(broker.Port(), keepAlive);
  return Measure(server, broker.Port(), nullptr, "Server unavailable.", seconds(10), down, [&] { broker.Start(); });
}

TRun FrozenPath(int keepAlive) {
  TMosquittoBroker broker;
  broker.Start();
  TTcpProxy proxy(broker.Port());
  TServer server(proxy.Port(), keepAlive);
  return Measure(
      server, broker.Port(), [&] { proxy.Freeze(); }, "Connection lost.", seconds(3 * keepAlive + 10), seconds(0),
      [&] { proxy.Forward(); });
}

TRun SilentListener(seconds silent, int keepAlive) {
  TMosquittoBroker broker;
  broker.Start();
  TTcpProxy proxy(broker.Port());
  proxy.Freeze();  // accepts and holds every connection: a listener that never answers
  TServer server(proxy.Port(), keepAlive);
  // Then a real broker answers there.
  return Measure(server, broker.Port(), nullptr, "Server unavailable.", seconds(30), silent, [&] { proxy.Forward(); });
}

TRun BrokerSigstop(seconds stopped, int keepAlive) {
  TMosquittoBroker broker;
  broker.Start();
  TServer server(broker.Port(), keepAlive);
  return Measure(
      server, broker.Port(), [&] { broker.Suspend(); }, "Connection lost.", stopped, stopped, [&] { broker.Resume(); });
}

std::string Median(std::vector<TRun> runs, std::optional<double> TRun::*field) {
  std::vector<double> values;
  for (const TRun& run : runs)
    if (run.*field) values.push_back(*(run.*field));
  if (values.empty()) return "never";
  std::sort(values.begin(), values.end());
  char text[64];
  if (values.size() == 1) {
    std::snprintf(text, sizeof text, "%.3f s", values[0]);
  } else {
    std::snprintf(text, sizeof text, "%.3f s (max %.3f)", values[values.size() / 2], values.back());
  }
  const std::size_t missing = runs.size() - values.size();
  return missing ? std::string(text) + ", " + std::to_string(missing) + " never" : std::string(text);
}

void Row(const char* fault, const std::vector<TRun>& runs, const std::string& goal) {
  std::printf("%-38s %4zu  %-22s %-24s %s\n", fault, runs.size(), Median(runs, &TRun::Noticed).c_str(),
              Median(runs, &TRun::Answered).c_str(), goal.c_str());
  std::fflush(stdout);
}

std::vector<TRun> Repeat(int count, const std::function<TRun()>& one) {
  std::vector<TRun> runs;
  for (int i = 0; i < count; ++i) runs.push_back(one());
  return runs;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int keepAlive = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  mosquitto_lib_init();
  std::printf("kestova-displayd against mosquitto, KeepAlive=%d s, reconnect interval %d s\n", keepAlive,
              kReconnectInterval);
  std::printf("%-38s %4s  %-22s %-24s %s\n", "fault", "runs", "noticed (median)", "answered again (median)", "goal");
  char goal[128];
  Row("broker restart, 2 s down", Repeat(runs, [&] { return BrokerRestart(seconds(2), keepAlive); }),
      "answered within 2 s of the broker's return");
  std::snprintf(goal, sizeof goal, "answered within %d s (one reconnect interval)", kReconnectInterval);
  Row("broker restart, 30 s down", Repeat(1, [&] { return BrokerRestart(seconds(30), keepAlive); }), goal);
  Row("broker down at start, up after 5 s", Repeat(1, [&] { return BrokerDownAtStart(seconds(5), keepAlive); }),
      "found at the next attempt (nominally 7 s after the start: 2 s after the broker)");
  std::snprintf(goal, sizeof goal, "noticed within %.1f s (1.5 x KeepAlive + 1 s)", 1.5 * keepAlive + 1);
  Row("frozen path (proxy)", Repeat(1, [&] { return FrozenPath(keepAlive); }), goal);
  Row("silent listener, forwards after 20 s", Repeat(1, [&] { return SilentListener(seconds(20), keepAlive); }),
      "given up within 11 s of the start");
  std::snprintf(goal, sizeof goal, "noticed within %.1f s (1.5 x KeepAlive + 1 s)", 1.5 * keepAlive + 1);
  Row("broker SIGSTOP for 60 s", Repeat(1, [&] { return BrokerSigstop(seconds(60), keepAlive); }), goal);
  mosquitto_lib_cleanup();
  return 0;
}
