#pragma once
// A port on the slave of a fresh pty, set up as the display service sets up its port.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <memory>

#include "platform/main_thread.h"
#include "pty_pair.h"
#include "serial/serial_comm.h"

namespace kestova::test {

class SerialPortFixture : public ::testing::Test {
 protected:
  void SetUp() override { MainThread().BindToCurrentThread(); }
  void TearDown() override { MainThread().Drain(); }

  // The display service's design-time values (br9600, no flow control, DTR and RTS off).
  std::unique_ptr<TSerialComm> NewPort() {
    auto port = std::make_unique<TSerialComm>();
    port->SetDeviceName(FPty.SlavePath());
    port->SetBaudrate(br9600);
    return port;
  }

  TPtyPair FPty;
};

inline double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

inline long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

}  // namespace kestova::test
