#pragma once
// A RabbitMQ node of its own with the MQTT plugin, for interoperability tests: Debian's
// rabbitmq-server started from a temporary folder that holds its configuration, data, logs and
// Erlang cookie (HOME), with its own node name and free 127.0.0.1 ports for MQTT, AMQP, the
// Erlang distribution and an epmd of its own. Stopped by its process id; nothing of the
// machine's own RabbitMQ is touched.
//
// Thread safety: one thread starts, stops and restarts it; Log, Host and Port from any thread.
#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/output_watcher.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {

class TRabbitMqBroker {
 public:
  static constexpr const char* Program = "/usr/lib/rabbitmq/bin/rabbitmq-server";
  static constexpr const char* Epmd = "/usr/bin/epmd";

  // Whether the rabbitmq-server package is installed here (tests skip with a message when not).
  static bool Installed();

  // Chooses the ports; starts nothing yet.
  TRabbitMqBroker();
  ~TRabbitMqBroker();
  TRabbitMqBroker(const TRabbitMqBroker&) = delete;
  TRabbitMqBroker& operator=(const TRabbitMqBroker&) = delete;

  // Start and wait (up to 90 s: the Erlang VM and the plugin take several seconds) until the
  // node reports its start-up complete. Raises ETestSupportError with the node's output.
  void Start();
  // SIGTERM (a clean stop) and wait until it has exited.
  void Stop();
  // Stop and start again on the same ports and data folder.
  void Restart();

  std::string Host() const { return "127.0.0.1"; }
  // The MQTT listener.
  std::uint16_t Port() const noexcept { return FMqttPort; }
  std::string Log() const { return FOutput.Text(); }

 private:
  TTempDir FDir;
  std::uint16_t FMqttPort = 0;
  std::uint16_t FAmqpPort = 0;
  std::uint16_t FDistPort = 0;
  std::uint16_t FEpmdPort = 0;
  std::string FNodeName;
  // Declared first, so the processes (killed by their destructors) go before the watcher joins.
  TOutputWatcher FOutput;
  std::unique_ptr<TChildProcess> FEpmd;
  std::unique_ptr<TChildProcess> FNode;
};

}  // namespace kestova::test
