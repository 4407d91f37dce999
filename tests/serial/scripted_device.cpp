#include "scripted_device.h"

#include <fcntl.h>

#include <cerrno>
#include <vector>

namespace kestova::test {

int TScriptedSerialDevice::GetAttr(TSerialTermios& t) {
  {
    std::lock_guard lock(FScript->Lock);
    if (FScript->HasTermios) {
      t = FScript->Termios;
      return 0;
    }
  }
  return TPosixSerialDevice::GetAttr(t);
}

int TScriptedSerialDevice::GetCounters(TSerialCounters& counters) {
  std::lock_guard lock(FScript->Lock);
  if (!FScript->HasCounters) return ENOTTY;
  counters = FScript->Counters;
  return 0;
}

int TScriptedSerialDevice::GetModemLines(uint32_t& lines) {
  std::lock_guard lock(FScript->Lock);
  if (!FScript->HasModem) return ENOTTY;
  lines = FScript->Modem;
  return 0;
}

int TScriptedSerialDevice::SetModemLines(uint32_t set, uint32_t clear) {
  std::lock_guard lock(FScript->Lock);
  if (!FScript->HasModem) return ENOTTY;
  FScript->Modem = (FScript->Modem | set) & ~clear;
  return 0;
}

int TScriptedSerialDevice::GetSerialInfo(TSerialInfo& info) {
  std::lock_guard lock(FScript->Lock);
  if (!FScript->HasInfo) return ENOTTY;
  info = FScript->Info;
  return 0;
}

int TScriptedSerialDevice::Read(void* buf, std::size_t count, std::size_t& got) {
  {
    std::lock_guard lock(FScript->Lock);
    if (FScript->ReadError != 0) {
      got = 0;
      return FScript->ReadError;
    }
  }
  const int rc = TPosixSerialDevice::Read(buf, count, got);
  if (rc == 0 && got > 0) {
    std::lock_guard lock(FScript->Lock);
    FScript->HasRead = true;
  }
  return rc;
}

int TScriptedSerialDevice::InputQueued(int32_t& count) {
  {
    std::lock_guard lock(FScript->Lock);
    if (FScript->HasRead && FScript->QueueErrorAfterRead != 0) return FScript->QueueErrorAfterRead;
  }
  return TPosixSerialDevice::InputQueued(count);
}

int TScriptedSerialDevice::Write(const void* buf, std::size_t count, std::size_t& written) {
  {
    std::lock_guard lock(FScript->Lock);
    if (FScript->WriteError != 0) {
      written = 0;
      return FScript->WriteError;
    }
  }
  return TPosixSerialDevice::Write(buf, count, written);
}

int TScriptedSerialDevice::WaitLine(std::span<const int> wakeFds, TDeadline deadline, TSerialLineWake& wake) {
  std::vector<int> fds(wakeFds.begin(), wakeFds.end());
  fds.push_back(FScript->Changed.Fd());
  const int rc = TPosixSerialDevice::WaitLine(fds, deadline, wake);
  if (FScript->Changed.Consume()) wake.Changed = true;
  return rc;
}

TSerialDeviceOpener ScriptedOpener(std::shared_ptr<TLineScript> script) {
  return [script](const std::string& path, std::unique_ptr<TSerialDevice>& device) {
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno;
    device = std::make_unique<TScriptedSerialDevice>(std::move(fd), script);
    return 0;
  };
}

}  // namespace kestova::test
