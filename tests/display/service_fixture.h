#pragma once
// A display service started in this process against a real broker, with a pty standing in for
// the pole display's serial line and a station client that talks to it like a point of sale.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/display_service.h"
#include "mqtt/client.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {

class DisplayServiceTest : public ::testing::Test {
 public:
  static std::string ShowMessage(const std::string& target, const std::string& params);

 protected:
  void SetUp() override;
  void TearDown() override;

  // Settings.ini pointing at the broker (or at `port` on the same host, a proxy say) and the
  // pty (or `comPort`), with `extra` lines added per section.
  void WriteSettings(const std::string& settingsExtra, const std::string& mqttExtra, std::uint16_t port = 0,
                     const std::string& comPort = "");
  void StartService();

  std::vector<std::string> LogLines() const;
  // Waits (pumping the main thread) until `line` was logged `times` times.
  bool WaitForLog(const std::string& line, int times = 1, std::chrono::milliseconds timeout = std::chrono::seconds(15));
  int CountLog(const std::string& line) const;
  // Waits for the next `count` log lines after `from` to settle, returns them.
  std::vector<std::string> LinesFrom(std::size_t from) const;

  // Publishes `payload` on `topic` with mosquitto_pub.
  void Publish(const std::string& topic, const std::string& payload);
  // Publishes and waits until the service logged the packet's arrival.
  void Deliver(const std::string& topic, const std::string& payload);

  // A second client acting as a point-of-sale station, subscribed to `topic`.
  void ConnectStation(const std::string& topic);

  // A broker that never drops what it queues for a client, so bursts arrive whole.
  static TBrokerOptions KeepEverything() {
    TBrokerOptions options;
    options.MaxQueuedMessages = 0;
    return options;
  }
  TMosquittoBroker FBroker{KeepEverything()};
  TTempDir FDir{"kestova-display"};
  TPtyPair FPty;
  std::string FSettingsFile;
  std::unique_ptr<TKestovaDisplayService> FService;

  std::unique_ptr<TMqttClient> FStation;
  std::vector<std::string> FStationMessages;

 private:
  mutable std::mutex FLogLock;
  std::vector<std::string> FLog;
};

}  // namespace kestova::test
