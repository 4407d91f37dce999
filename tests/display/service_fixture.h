#pragma once
// A display service started in this process against a real broker, with a pty standing in for
// the pole display's serial line and a station client that talks to it like a point of sale.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "display/display_protocol.h"
#include "display/display_service.h"
#include "mqtt/client.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"
#include "tools/virtual-display/display_decoder.h"

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
  // How long a frame may take to reach the pty once written: two write time-outs of the port.
  std::chrono::milliseconds Bound() const;

  // Publishes every line of `file` as one message on `topic`, as fast as the broker takes them,
  // servicing the main thread meanwhile.
  void PublishLines(const std::string& topic, const std::string& file);

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

// A command set of the serial display ([Settings] DisplayProtocol) with the DisplayInit bytes
// (hexadecimal, may be empty), for the tests that run once per set.
struct TDisplaySet {
  TDisplayProtocol Protocol;
  std::string Init;
};
// Every set, the frame also with init bytes alone; test names from PrintToStringParamName.
std::vector<TDisplaySet> AllDisplaySets();
void PrintTo(const TDisplaySet& set, std::ostream* out);

class DisplaySetTest : public DisplayServiceTest, public ::testing::WithParamInterface<TDisplaySet> {
 protected:
  // The [Settings] lines that choose the set.
  std::string SetSettings() const;
  // What a freshly opened port gets before the first frame: the set's opening bytes, then the init bytes.
  std::string Opening() const;
  // One update of the two prepared lines at the default width.
  std::string Update(const std::string& line1, const std::string& line2) const;
  // The two lines a display of the set shows after reading `bytes`.
  TDisplayFrame Shown(const std::string& bytes) const;
};

}  // namespace kestova::test
