// Our MQTT client side by side with libmosquitto (threaded, mosquitto_loop_start) against the
// same mosquitto on loopback, started here with max_queued_messages 0 (no limit).
// Run: build-*/bench/mqtt/mqtt_bench   (about 40 s; the idle measurements take 10 s each)
//
// - BM_RoundTrip: one QoS 0 message at a time to a topic the client subscribes to itself;
//   p50_us and p99_us over 1000 round trips (after 100 for warming up).
// - BM_Qos0Receive: a libmosquitto publisher sends 100,000 QoS 0 messages of 32 bytes as fast
//   as it can; msgs_per_s is what the measured client receives, from the first publish to the
//   last message in.
// - BM_Qos1Publish: 20,000 QoS 1 messages published at once with at most 10 in flight (our
//   session's window, libmosquitto's max_inflight_messages); msgs_per_s from the first publish
//   to the last PUBACK.
// - BM_IdleWakeups: a connected client (keep-alive 120 s) left alone for 10 s; wakeups_per_s
//   counts the context switches of every thread of this process over that time.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <mosquitto.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mqtt/client.h"
#include "platform/main_thread.h"
#include "platform/wake_event.h"
#include "tests/support/mosquitto_broker.h"

namespace {

using namespace kestova;
using Clock = std::chrono::steady_clock;

test::TMosquittoBroker* Broker = nullptr;
constexpr std::chrono::seconds kWaitLimit{60};

// Context switches of every thread of this process so far.
uint64_t ProcessContextSwitches() {
  uint64_t total = 0;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return 0;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::stoull(line.substr(line.find(':') + 1));
      }
    }
  }
  closedir(tasks);
  return total;
}

// Our client on the main thread of the hand-over: its events arrive by draining the main thread.
class TOurs {
 public:
  explicit TOurs(const std::string& AClientId, bool AKeepAlive = false) {
    MainThread().BindToCurrentThread();
    FClient.SetBrokerHostName(Broker->Host());
    FClient.SetBrokerPort(Broker->Port());
    FClient.SetClientID(AClientId);
    FClient.KeepAliveSettings().SetKeepConnectionAlive(AKeepAlive);
    FClient.OnPublishReceived = [this](TMqttClient&, uint16_t, const std::string&, const TMqttBytes&) { ++Received; };
    FClient.OnPacketReceived = [this](TMqttClient&, const TMqttPacketInfo& AInfo) {
      if (AInfo.PacketType == TMqttPacketType::mtPUBACK) ++Acknowledged;
      if (AInfo.PacketType == TMqttPacketType::mtSUBACK) ++Subscribed;
    };
    FClient.Connect(true);
    Wait([this] { return FClient.IsConnected(); });
  }
  void Subscribe(const std::string& ATopic) {
    const uint64_t before = Subscribed;
    FClient.Subscribe(ATopic, TMqttQoS::qosAtMostOnce);
    Wait([&] { return Subscribed > before; });
  }
  void Publish(const std::string& ATopic, const std::string& APayload, int AQos) {
    FClient.Publish(ATopic, std::string_view(APayload), static_cast<TMqttQoS>(AQos), false);
  }
  // Runs the main thread's hand-overs, blocking on their wake-up, until ADone holds.
  void Wait(const std::function<bool()>& ADone) {
    const auto limit = Clock::now() + kWaitLimit;
    while (!ADone()) {
      if (Clock::now() > limit) throw std::runtime_error("our client: wait timed out");
      pollfd wake{MainThread().WakeFd(), POLLIN, 0};
      ::poll(&wake, 1, 1000);
      MainThread().Drain();
    }
  }
  void Idle(std::chrono::milliseconds AFor) {
    pollfd wake{MainThread().WakeFd(), POLLIN, 0};
    const auto end = Clock::now() + AFor;
    for (auto left = AFor; left.count() > 0;
         left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now())) {
      ::poll(&wake, 1, static_cast<int>(left.count()));
      MainThread().Drain();
    }
  }

  uint64_t Received = 0;
  uint64_t Acknowledged = 0;
  uint64_t Subscribed = 0;

 private:
  TMqttClient FClient;
};

// libmosquitto with its own network thread; its callbacks count and wake the waiting thread.
class TLibmosquitto {
 public:
  explicit TLibmosquitto(const std::string& AClientId, unsigned AMaxInflight = 20) {
    FMosq = mosquitto_new(AClientId.c_str(), true, this);
    if (!FMosq) throw std::runtime_error("mosquitto_new failed");
    mosquitto_int_option(FMosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(FMosq, AMaxInflight);
    mosquitto_connect_callback_set(FMosq, [](mosquitto*, void* AThis, int ACode) {
      if (ACode == 0) static_cast<TLibmosquitto*>(AThis)->Bump(static_cast<TLibmosquitto*>(AThis)->Connected);
    });
    mosquitto_message_callback_set(FMosq, [](mosquitto*, void* AThis, const mosquitto_message*) {
      static_cast<TLibmosquitto*>(AThis)->Bump(static_cast<TLibmosquitto*>(AThis)->Received);
    });
    mosquitto_publish_callback_set(FMosq, [](mosquitto*, void* AThis, int) {
      static_cast<TLibmosquitto*>(AThis)->Bump(static_cast<TLibmosquitto*>(AThis)->Acknowledged);
    });
    mosquitto_subscribe_callback_set(FMosq, [](mosquitto*, void* AThis, int, int, const int*) {
      static_cast<TLibmosquitto*>(AThis)->Bump(static_cast<TLibmosquitto*>(AThis)->Subscribed);
    });
    if (mosquitto_connect(FMosq, Broker->Host().c_str(), Broker->Port(), 120) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(FMosq) != MOSQ_ERR_SUCCESS) {
      throw std::runtime_error("libmosquitto could not connect");
    }
    Wait([this] { return Connected.load() > 0; });
  }
  ~TLibmosquitto() {
    mosquitto_disconnect(FMosq);
    mosquitto_loop_stop(FMosq, false);
    mosquitto_destroy(FMosq);
  }
  void Subscribe(const std::string& ATopic) {
    const uint64_t before = Subscribed;
    mosquitto_subscribe(FMosq, nullptr, ATopic.c_str(), 0);
    Wait([&] { return Subscribed > before; });
  }
  void Publish(const std::string& ATopic, const std::string& APayload, int AQos) {
    mosquitto_publish(FMosq, nullptr, ATopic.c_str(), static_cast<int>(APayload.size()), APayload.data(), AQos, false);
  }
  void Wait(const std::function<bool()>& ADone) {
    const auto limit = Clock::now() + kWaitLimit;
    while (!ADone()) {
      if (Clock::now() > limit) throw std::runtime_error("libmosquitto: wait timed out");
      pollfd wake{FWake.Fd(), POLLIN, 0};
      ::poll(&wake, 1, 1000);
      FWake.Consume();
    }
  }
  void Idle(std::chrono::milliseconds AFor) { ::poll(nullptr, 0, static_cast<int>(AFor.count())); }

  std::atomic<uint64_t> Connected{0};
  std::atomic<uint64_t> Received{0};
  std::atomic<uint64_t> Acknowledged{0};
  std::atomic<uint64_t> Subscribed{0};

 private:
  void Bump(std::atomic<uint64_t>& ACounter) {
    ++ACounter;
    FWake.Signal();
  }
  mosquitto* FMosq = nullptr;
  TWakeEvent FWake;
};

template <typename TClient>
void BM_RoundTrip(benchmark::State& state) {
  TClient client("rtt-" + std::to_string(reinterpret_cast<uintptr_t>(&state)));
  const std::string topic = "bench/rtt/" + std::to_string(reinterpret_cast<uintptr_t>(&client));
  client.Subscribe(topic);
  const std::string payload(32, 'r');
  std::vector<double> samples;
  for (auto _ : state) {
    samples.clear();
    for (int i = 0; i < 1100; ++i) {
      const uint64_t before = client.Received;
      const auto start = Clock::now();
      client.Publish(topic, payload, 0);
      client.Wait([&] { return client.Received > before; });
      if (i >= 100) samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
  }
  std::sort(samples.begin(), samples.end());
  state.counters["p50_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

template <typename TClient>
void BM_Qos0Receive(benchmark::State& state) {
  constexpr int kCount = 100000;
  TClient receiver("recv-" + std::to_string(reinterpret_cast<uintptr_t>(&state)));
  const std::string topic = "bench/recv/" + std::to_string(reinterpret_cast<uintptr_t>(&receiver));
  receiver.Subscribe(topic);
  TLibmosquitto publisher("send-" + std::to_string(reinterpret_cast<uintptr_t>(&receiver)));
  const std::string payload(32, 'q');
  double seconds = 0;
  for (auto _ : state) {
    const uint64_t before = receiver.Received;
    const auto start = Clock::now();
    for (int i = 0; i < kCount; ++i) publisher.Publish(topic, payload, 0);
    receiver.Wait([&] { return receiver.Received >= before + kCount; });
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  }
  state.counters["msgs_per_s"] = kCount / seconds;
}

template <typename TClient>
void BM_Qos1Publish(benchmark::State& state) {
  constexpr int kCount = 20000;
  // libmosquitto's limit is set here; ours is the session's in-flight window, 10.
  std::unique_ptr<TClient> client;
  if constexpr (std::is_same_v<TClient, TLibmosquitto>) {
    client = std::make_unique<TClient>("pub1-" + std::to_string(reinterpret_cast<uintptr_t>(&state)), 10);
  } else {
    client = std::make_unique<TClient>("pub1-" + std::to_string(reinterpret_cast<uintptr_t>(&state)));
  }
  const std::string topic = "bench/qos1/" + std::to_string(reinterpret_cast<uintptr_t>(client.get()));
  const std::string payload(32, 'p');
  double seconds = 0;
  for (auto _ : state) {
    const uint64_t before = client->Acknowledged;
    const auto start = Clock::now();
    for (int i = 0; i < kCount; ++i) client->Publish(topic, payload, 1);
    client->Wait([&] { return client->Acknowledged >= before + kCount; });
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  }
  state.counters["msgs_per_s"] = kCount / seconds;
}

template <typename TClient>
void BM_IdleWakeups(benchmark::State& state) {
  std::unique_ptr<TClient> client;
  if constexpr (std::is_same_v<TClient, TOurs>) {
    client = std::make_unique<TClient>("idle-" + std::to_string(reinterpret_cast<uintptr_t>(&state)), true);
  } else {
    client = std::make_unique<TClient>("idle-" + std::to_string(reinterpret_cast<uintptr_t>(&state)));
  }
  client->Idle(std::chrono::milliseconds(500));  // let the connection settle
  uint64_t switches = 0;
  for (auto _ : state) {
    const uint64_t before = ProcessContextSwitches();
    client->Idle(std::chrono::seconds(10));
    switches = ProcessContextSwitches() - before;
  }
  state.counters["wakeups_per_s"] = static_cast<double>(switches) / 10.0;
}

BENCHMARK_TEMPLATE(BM_RoundTrip, TOurs)->Name("BM_RoundTrip/Ours")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_RoundTrip, TLibmosquitto)
    ->Name("BM_RoundTrip/Libmosquitto")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Qos0Receive, TOurs)->Name("BM_Qos0Receive/Ours")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Qos0Receive, TLibmosquitto)
    ->Name("BM_Qos0Receive/Libmosquitto")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Qos1Publish, TOurs)->Name("BM_Qos1Publish/Ours")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Qos1Publish, TLibmosquitto)
    ->Name("BM_Qos1Publish/Libmosquitto")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_IdleWakeups, TOurs)->Name("BM_IdleWakeups/Ours")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_IdleWakeups, TLibmosquitto)
    ->Name("BM_IdleWakeups/Libmosquitto")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  MainThread().BindToCurrentThread();
  mosquitto_lib_init();
  test::TBrokerOptions options;
  options.MaxQueuedMessages = 0;
  test::TMosquittoBroker broker(options);
  broker.Start();
  Broker = &broker;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Broker = nullptr;
  mosquitto_lib_cleanup();
  return 0;
}
