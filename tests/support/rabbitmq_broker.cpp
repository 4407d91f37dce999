#include "tests/support/rabbitmq_broker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <vector>

#include "platform/format.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/support_error.h"

namespace kestova::test {

namespace {

constexpr const char* StartedMark = "Server startup complete";
constexpr std::chrono::seconds StartTimeout{90};
constexpr std::chrono::seconds StopTimeout{60};

// count distinct free ports.
std::vector<std::uint16_t> FreePorts(std::size_t count) {
  std::set<std::uint16_t> ports;
  while (ports.size() < count) ports.insert(FreeLoopbackPort());
  return {ports.begin(), ports.end()};
}

}  // namespace

bool TRabbitMqBroker::Installed() { return ::access(Program, X_OK) == 0 && ::access(Epmd, X_OK) == 0; }

TRabbitMqBroker::TRabbitMqBroker() : FDir("kestova-rabbitmq") {
  const auto ports = FreePorts(4);
  FMqttPort = ports[0];
  FAmqpPort = ports[1];
  FDistPort = ports[2];
  FEpmdPort = ports[3];
  FNodeName = Format("kestova%d_%u@localhost", static_cast<int>(::getpid()), FMqttPort);
  FDir.WriteFile("rabbitmq.conf", Format("listeners.tcp.default = 127.0.0.1:%u\n"
                                         "mqtt.listeners.tcp.default = 127.0.0.1:%u\n"
                                         "mqtt.allow_anonymous = true\n"
                                         "loopback_users = none\n",
                                         FAmqpPort, FMqttPort));
  FDir.WriteFile("enabled_plugins", "[rabbitmq_mqtt].\n");
  FDir.WriteFile("rabbitmq-env.conf", "");
  ::mkdir(FDir.File("home").c_str(), 0700);
}

TRabbitMqBroker::~TRabbitMqBroker() {
  try {
    Stop();
  } catch (...) {
    // The child process objects still kill and reap them.
  }
}

void TRabbitMqBroker::Start() {
  if (FNode && FNode->Running()) return;
  if (!FEpmd) {
    FEpmd = std::make_unique<TChildProcess>(
        std::vector<std::string>{Epmd, "-port", std::to_string(FEpmdPort), "-address", "127.0.0.1"});
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw ETestSupportError(Format("pipe2 failed: %s", std::strerror(errno)));
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  const std::size_t logStart = FOutput.Position();
  // env hands the node its own world and then runs the script in its place, so the process we
  // start is the node (the script ends by exec'ing the Erlang VM).
  const std::vector<std::string> argv{"/usr/bin/env",
                                      "HOME=" + FDir.File("home"),
                                      "ERL_EPMD_PORT=" + std::to_string(FEpmdPort),
                                      "RABBITMQ_CONF_ENV_FILE=" + FDir.File("rabbitmq-env.conf"),
                                      "RABBITMQ_NODENAME=" + FNodeName,
                                      "RABBITMQ_CONFIG_FILE=" + FDir.File("rabbitmq"),
                                      "RABBITMQ_ENABLED_PLUGINS_FILE=" + FDir.File("enabled_plugins"),
                                      "RABBITMQ_MNESIA_BASE=" + FDir.File("mnesia"),
                                      "RABBITMQ_LOG_BASE=" + FDir.File("log"),
                                      "RABBITMQ_LOGS=-",
                                      "RABBITMQ_DIST_PORT=" + std::to_string(FDistPort),
                                      "RABBITMQ_SERVER_ADDITIONAL_ERL_ARGS=-kernel inet_dist_use_interface {127,0,0,1}",
                                      Program};
  FNode = std::make_unique<TChildProcess>(argv, writeEnd.Get());
  writeEnd.Reset();
  FOutput.Watch(std::move(readEnd));
  if (!FOutput.WaitFor(StartedMark, logStart, StartTimeout)) {
    Stop();
    throw ETestSupportError("RabbitMQ did not start: " + Log());
  }
}

void TRabbitMqBroker::Stop() {
  if (FNode) {
    FNode->Stop(SIGTERM, StopTimeout);
    FNode.reset();
  }
  FOutput.Join();
}

void TRabbitMqBroker::Restart() {
  Stop();
  Start();
}

}  // namespace kestova::test
