#pragma once
// kestova-displayd run as an integrator runs it: a child process with its own Settings.ini in a
// temporary folder, its output collected in a file there.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {

class TDisplaydRun {
 public:
  // Settings.ini for a broker at 127.0.0.1:`port` with ClientID=Display1 and Topics=t, plus the
  // lines given for each section; returns its path.
  std::string Settings(std::uint16_t port, const std::string& settingsSection, const std::string& mqttSection = "");
  // Starts the program with its output going to a file in the temporary folder.
  std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& args,
                                       const std::string& program = KESTOVA_DISPLAYD);
  std::string Output() const;
  // Waits until `text` has been printed `times` times.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(15),
                     int times = 1) const;
  const TTempDir& Dir() const { return FDir; }

 private:
  TTempDir FDir{"kestova-displayd"};
  UniqueFd FOutput;
};

class DisplaydTest : public ::testing::Test {
 protected:
  void SetUp() override { FBroker.Start(); }

  std::string Settings(const std::string& settingsSection, const std::string& mqttSection = "") {
    return FRun.Settings(FBroker.Port(), settingsSection, mqttSection);
  }
  std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& args,
                                       const std::string& program = KESTOVA_DISPLAYD) {
    return FRun.Start(args, program);
  }
  std::string Output() const { return FRun.Output(); }
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(15),
                     int times = 1) const {
    return FRun.WaitForOutput(text, timeout, times);
  }

  TMosquittoBroker FBroker;
  TDisplaydRun FRun;
  const TTempDir& FDir = FRun.Dir();
};

}  // namespace kestova::test
