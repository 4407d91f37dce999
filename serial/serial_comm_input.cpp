// The port's input: reading, waiting for a byte, and the data step of the event dispatch.
#include <algorithm>
#include <exception>
#include <vector>

#include "platform/deadline.h"
#include "serial/serial_custom_comm.h"
#include "serial/serial_dispatcher.h"

namespace kestova {
namespace {
// A data step stops reading at this size even if bytes keep coming; their arrival has
// already woken the event thread again, so the next step takes them.
constexpr std::size_t kDataStepLimit = 1 << 20;
}  // namespace

int TSerialCustomComm::ReadDevice(void* Buf, int32_t Count, int32_t& got) {
  got = 0;
  std::size_t n = 0;
  std::lock_guard lock(FGlobalSection);
  if (!FDevice || Count <= 0) return 0;
  const int rc = FDevice->Read(Buf, static_cast<std::size_t>(Count), n);
  got = static_cast<int32_t>(n);
  return rc;
}

int32_t TSerialCustomComm::ReadBuf(void* Buf, int32_t Count) {
  if (!Active()) return 0;
  int32_t got = 0;
  Watch(ReadDevice(Buf, Count, got), sErrRead);
  return got;
}

ByteString TSerialCustomComm::ReadText() {
  const int32_t used = ReadBufUsed();
  if (used <= 0) return {};
  ByteString text(static_cast<std::size_t>(used), '\0');
  // The queue never shrinks by itself, but a purge or another reader may have taken bytes.
  text.resize(static_cast<std::size_t>(std::max(ReadBuf(text.data(), used), 0)));
  return text;
}

bool TSerialCustomComm::ReadChar(char& Ch) { return ReadBuf(&Ch, 1) == 1; }

bool TSerialCustomComm::WaitChar(int32_t TimeOut) {
  std::shared_ptr<TSerialDevice> device;
  {
    std::lock_guard lock(FGlobalSection);
    device = FDevice;
  }
  if (!device) return false;
  const TDeadline deadline = TimeOut < 0 ? TDeadline::Never() : TDeadline::After(std::chrono::milliseconds(TimeOut));
  for (;;) {
    if (ReadBufUsed() > 0) return true;
    TSerialInputWait wait;
    const int rc = device->WaitInput(deadline, wait);
    if (rc != 0 || wait.HangUp || !wait.Readable) return ReadBufUsed() > 0;
  }
}

bool TSerialCustomComm::ReadCharWait(char& Ch, int32_t TimeOut) {
  WaitChar(TimeOut);
  return ReadChar(Ch);
}

void TSerialCustomComm::HandleDataEvent() {
  int32_t count = ReadBufUsed();
  if (count <= 0) return;
  if (FClients.empty()) {
    if (auto handler = OnRxChar) handler(*this, count);
    return;
  }
  // Read up to an empty queue: what arrives while the step runs is taken now too.
  std::vector<uint8_t> data;
  int rc = 0;
  std::exception_ptr countFailed;
  while (count > 0 && data.size() < kDataStepLimit) {
    const std::size_t at = data.size();
    data.resize(at + static_cast<std::size_t>(count));
    int32_t got = 0;
    rc = ReadDevice(data.data() + at, count, got);
    data.resize(at + static_cast<std::size_t>(std::max(got, 0)));
    if (rc != 0 || got <= 0) break;
    try {
      count = ReadBufUsed();
    } catch (const ESerialCommError&) {
      // The bytes already read are out of the driver: they must still reach the application.
      countFailed = std::current_exception();
      break;
    }
  }
  if (!data.empty()) {
    const auto n = static_cast<int32_t>(data.size());
    NotifyClients([&](ISerialCommUser& user) { user.DataChanged(data.data(), n); });
    if (auto handler = OnRxBuf) handler(*this, data.data(), n);
  }
  // Reported after the bytes read before the failure were handed out.
  if (countFailed) std::rethrow_exception(countFailed);
  Watch(rc, sErrRead);
}

}  // namespace kestova
