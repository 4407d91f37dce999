#pragma once
// What the display benchmarks share: kestova-displayd started from a Settings.ini in a
// temporary folder against a mosquitto of its own, its log read back, raw pseudo-terminals for
// the display, and a libmosquitto station that publishes SHOW_MESSAGE packets.
#include <mosquitto.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

namespace kestova::bench {

// A pty whose master reads raw bytes; the slave is left to the server.
struct TRawPty {
  TRawPty();
  UniqueFd Master;
  UniqueFd Slave;
  std::string Path;
};

// Polls a file until it holds `text` `times` times; false after `timeout`.
bool WaitForText(const std::string& path, const std::string& text, std::chrono::milliseconds timeout, int times = 1);
int CountText(const std::string& path, const std::string& text);

class TServerUnderTest {
 public:
  // A broker that drops nothing it queues, so no message of a burst is lost on the way.
  TServerUnderTest();
  ~TServerUnderTest();

  // Starts the server with [Settings] `settings` and waits until it has subscribed.
  void Start(const std::string& settings);
  std::string LogFile() const { return FDir.File("server.log"); }
  pid_t Pid() const { return FServer ? FServer->Pid() : -1; }
  std::string Folder(const std::string& name) const { return FDir.File(name); }

  // Publishes at QoS 0 without waiting for the network.
  void Publish(const std::string& payload);
  static std::string ShowMessage(const std::string& line1, const std::string& line2);

 private:
  test::TMosquittoBroker FBroker;
  test::TTempDir FDir{"kestova-bench"};
  UniqueFd FLog;
  std::unique_ptr<test::TChildProcess> FServer;
  mosquitto* FStation = nullptr;
};

}  // namespace kestova::bench
