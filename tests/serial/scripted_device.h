#pragma once
// A real pty for the bytes, with the modem lines, the error counters, the serial information
// and read and write failures scripted by the test (a pty has none of them), and, when asked, the
// termios the device reports (a pty keeps no data bits or parity of its own).
#include <memory>
#include <mutex>
#include <string>

#include "platform/wake_event.h"
#include "serial/posix_serial_device.h"

namespace kestova::test {

struct TLineScript {
  // Changes the line under the lock and wakes the port's event thread.
  template <typename F>
  void Change(F&& change) {
    {
      std::lock_guard lock(Lock);
      change(*this);
    }
    Changed.Signal();
  }

  std::mutex Lock;
  TSerialCounters Counters;
  bool HasCounters = true;
  uint32_t Modem = 0;  // DTR and RTS follow what the port sets
  bool HasModem = true;
  TSerialInfo Info;
  bool HasInfo = false;
  TSerialTermios Termios;  // what GetAttr reports while HasTermios
  bool HasTermios = false;
  int WriteError = 0;  // writes fail with it while not 0
  int ReadError = 0;   // reads too
  // Once a read has returned bytes, queue counts fail with it (the device went in mid-step).
  int QueueErrorAfterRead = 0;
  bool HasRead = false;
  TWakeEvent Changed;
};

class TScriptedSerialDevice : public TPosixSerialDevice {
 public:
  TScriptedSerialDevice(UniqueFd fd, std::shared_ptr<TLineScript> script)
      : TPosixSerialDevice(std::move(fd)), FScript(std::move(script)) {}

  int GetAttr(TSerialTermios& t) override;
  int GetCounters(TSerialCounters& counters) override;
  int GetModemLines(uint32_t& lines) override;
  int SetModemLines(uint32_t set, uint32_t clear) override;
  int GetSerialInfo(TSerialInfo& info) override;
  int Read(void* buf, std::size_t count, std::size_t& got) override;
  int InputQueued(int32_t& count) override;
  int Write(const void* buf, std::size_t count, std::size_t& written) override;
  int WaitLine(std::span<const int> wakeFds, TDeadline deadline, TSerialLineWake& wake) override;

 private:
  std::shared_ptr<TLineScript> FScript;
};

// An opener for TSerialCustomComm::SetDeviceOpener that gives scripted devices.
TSerialDeviceOpener ScriptedOpener(std::shared_ptr<TLineScript> script);

}  // namespace kestova::test
