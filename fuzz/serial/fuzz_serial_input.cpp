// The serial port's input side on a device scripted by the input, under the port's device seam
// (serial/serial_device.h): bytes arrive in pieces, also while the data step reads; a read may
// return fewer bytes than asked, and a read or a queue count may fail (the first, or a later
// one: in the middle of a step); the queue count may be stale (up to 4 KiB more
// than is left, as when bytes went meanwhile); clients come and go, are switched off, or all
// notifications are. Between those the data step runs (as the event dispatch runs it on the
// main thread) and the application reads (ReadText, ReadChar, ReadBuf) and purges. The input is
// a sequence of such operations (FuzzedDataProvider). Invariants:
//  - Every byte the device hands out reaches the application exactly once and in order: through
//    OnRxBuf in a data step, or through its own reads; none is lost when the step fails.
//  - An active client with notifications on gets a step's bytes, before OnRxBuf; others none.
//  - Without a client the step reads nothing and OnRxChar tells the count the driver gave.
//  - The only errors are ESerialCommError "Read error (5), ..." for a failed read and "Error
//    retrieving statistics (19), ..." for a count that failed with ENODEV (EIO means the driver
//    keeps no count), and only when one was scripted.
#include <fuzzer/FuzzedDataProvider.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/main_thread.h"
#include "platform/unique_fd.h"
#include "serial/serial_comm.h"
#include "serial/serial_dispatcher.h"
#include "serial/serial_error.h"

namespace {

using namespace kestova;
using fuzz::Check;

// What the device does next, set by the input; the device and the harness share it.
struct TDeviceScript {
  std::string Queue;             // received, not read yet
  std::string HandedOut;         // every byte a read returned, in order
  std::string DuringRead;        // arrives right after the next read
  std::size_t ReadLimit = 0;     // the next read returns at most this many bytes; 0: no limit
  int ReadsBeforeFailure = -1;   // reads that still succeed before one fails with EIO; -1: none fails
  int CountsBeforeFailure = -1;  // the same for the queue count, which fails with CountError
  int CountError = EIO;          // EIO (which a driver without a count gives) or ENODEV (unplugged)
  int32_t StaleCount = 0;        // the next queue count reports this many bytes more
  int32_t LastCount = 0;         // what the last queue count reported
};

// An in-memory serial device: no modem lines or counters (like a pty), writes vanish.
class TScriptedInputDevice : public TSerialDevice {
 public:
  explicit TScriptedInputDevice(TDeviceScript& script) : FScript(script), FHandle(eventfd(0, EFD_CLOEXEC)) {}

  int Handle() const noexcept override { return FHandle.Get(); }
  int GetAttr(TSerialTermios& t) override {
    t = FTermios;
    return 0;
  }
  int SetAttr(const TSerialTermios& t) override {
    FTermios = t;
    return 0;
  }
  int SetModemLines(uint32_t, uint32_t) override { return ENOTTY; }
  int GetModemLines(uint32_t&) override { return ENOTTY; }
  int GetCounters(TSerialCounters&) override { return ENOTTY; }
  int SetBreak(bool) override { return 0; }
  int SetOutputFlow(bool) override { return 0; }
  int GetSerialInfo(TSerialInfo&) override { return ENOTTY; }

  int Read(void* buf, std::size_t count, std::size_t& got) override {
    got = 0;
    if (Fails(FScript.ReadsBeforeFailure)) return EIO;
    got = std::min(count, FScript.Queue.size());
    if (FScript.ReadLimit != 0) got = std::min(got, FScript.ReadLimit);
    FScript.ReadLimit = 0;
    std::copy_n(FScript.Queue.data(), got, static_cast<char*>(buf));
    FScript.HandedOut.append(FScript.Queue, 0, got);
    FScript.Queue.erase(0, got);
    FScript.Queue += FScript.DuringRead;
    FScript.DuringRead.clear();
    return 0;
  }
  int Write(const void*, std::size_t count, std::size_t& written) override {
    written = count;
    return 0;
  }
  int InputQueued(int32_t& count) override {
    if (Fails(FScript.CountsBeforeFailure)) return FScript.CountError;
    count = static_cast<int32_t>(FScript.Queue.size()) + FScript.StaleCount;
    FScript.StaleCount = 0;
    FScript.LastCount = count;
    return 0;
  }
  int OutputQueued(int32_t& count) override {
    count = 0;
    return 0;
  }
  int Purge(bool input, bool) override {
    if (input) FScript.Queue.clear();
    return 0;
  }
  // Nothing happens on the line; only the wake-ups end a wait.
  int WaitLine(std::span<const int> wakeFds, TDeadline deadline, TSerialLineWake&) override {
    std::vector<pollfd> fds;
    for (const int fd : wakeFds) fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), deadline.PollTimeout()) < 0) return errno;
    return 0;
  }
  int WaitInput(TDeadline, TSerialInputWait& wait) override {
    wait.Readable = !FScript.Queue.empty();
    return 0;
  }
  int WaitWritable(std::span<const int>, TDeadline, bool& writable) override {
    writable = true;
    return 0;
  }
  int Close() override { return 0; }

 private:
  static bool Fails(int& before) {
    if (before < 0) return false;
    return before-- == 0;
  }

  TDeviceScript& FScript;
  UniqueFd FHandle;
  TSerialTermios FTermios;
};

// The port with its data step reachable, as the event dispatch runs it.
class TInputPort : public TSerialComm {
 public:
  using TSerialComm::HandleDataEvent;
};

class TRecordingUser : public ISerialCommUser {
 public:
  void LineChanged(uint32_t) override {}
  void DataChanged(const uint8_t* Data, int32_t Count) override {
    Got.append(reinterpret_cast<const char*>(Data), static_cast<std::size_t>(Count));
  }
  std::string Got;
};

TDeviceScript Script;

// One port for the whole run, opened once: no event or write thread (nothing to monitor,
// direct writes), so the harness alone drives it.
TInputPort& Port() {
  static TInputPort& port = []() -> TInputPort& {
    MainThread().BindToCurrentThread();
    static TInputPort p;
    p.SetDeviceName("/dev/scripted");
    p.SetBaudrate(br9600);
    p.SetMonitorEvents({});
    p.SetDirectWrite(true);
    p.SetDeviceOpener([](const std::string&, std::unique_ptr<TSerialDevice>& device) {
      device = std::make_unique<TScriptedInputDevice>(Script);
      return 0;
    });
    p.Open();
    return p;
  }();
  return port;
}

struct TRun {
  std::size_t Delivered = 0;  // bytes of Script.HandedOut the application has had
  std::string RxBuf;          // what OnRxBuf got in the step running now
  int32_t RxChar = -1;        // what OnRxChar got in the step running now

  void Take(std::string_view bytes, const char* what) {
    Check(Script.HandedOut.compare(Delivered, bytes.size(), bytes) == 0, what);
    Delivered += bytes.size();
  }
};

// `step` may raise the errors scripted for it; anything else is a fault.
template <typename F>
void Guard(F&& step, bool failRead, bool failCount) {
  try {
    step();
  } catch (const ESerialCommError& e) {
    const std::string message = e.what();
    const bool read = message.rfind("Read error (5), ", 0) == 0 && failRead;
    const bool count = message.rfind("Error retrieving statistics (19), ", 0) == 0 && failCount;
    Check(read || count, "an error that was not scripted");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  TInputPort& port = Port();
  Script = TDeviceScript{};
  port.EnableControls();
  TRun run;
  port.OnRxBuf = [&](TSerialCustomComm&, const uint8_t* bytes, int32_t count) {
    run.RxBuf.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  };
  port.OnRxChar = [&](TSerialCustomComm&, int32_t count) { run.RxChar = count; };

  TRecordingUser users[2];
  TSerialDispatcher clients[2] = {TSerialDispatcher(users[0]), TSerialDispatcher(users[1])};
  bool controls = true;

  FuzzedDataProvider input(data, size);
  while (input.remaining_bytes() > 0) {
    const bool failRead = Script.ReadsBeforeFailure >= 0, failCount = Script.CountsBeforeFailure >= 0;
    switch (input.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: Script.Queue += input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 64)); break;
      case 1: Script.DuringRead += input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 16)); break;
      case 2: Script.ReadLimit = input.ConsumeIntegralInRange<std::size_t>(1, 8); break;
      case 3: {
        const bool read = input.ConsumeBool();
        (read ? Script.ReadsBeforeFailure : Script.CountsBeforeFailure) = input.ConsumeIntegralInRange<int>(0, 3);
        if (!read) Script.CountError = input.ConsumeBool() ? ENODEV : EIO;
        break;
      }
      case 4: Script.StaleCount = input.ConsumeIntegralInRange<int32_t>(-8, 4096); break;
      case 5: {
        const int which = input.ConsumeIntegralInRange<int>(0, 3);
        if (which < 2) {
          if (clients[which].Comm() != nullptr)
            port.RemoveClient(&clients[which]);
          else
            port.InsertClient(&clients[which]);
        } else if (which == 2) {
          clients[0].SetActive(!clients[0].Active());
        } else {
          controls = !controls;
          controls ? port.EnableControls() : port.DisableControls();
        }
        break;
      }
      case 6: {
        run.RxBuf.clear();
        run.RxChar = -1;
        const bool attached = clients[0].Comm() != nullptr || clients[1].Comm() != nullptr;
        const std::size_t handedOut = Script.HandedOut.size();
        std::string before[2] = {users[0].Got, users[1].Got};
        Guard([&] { port.HandleDataEvent(); }, failRead, failCount);
        const std::string stepBytes = Script.HandedOut.substr(handedOut);
        run.Take(run.RxBuf, "OnRxBuf got other bytes than the device gave");
        Check(run.RxBuf == stepBytes, "bytes the step read did not reach OnRxBuf");
        if (!attached) {
          Check(stepBytes.empty(), "the step read without a client");
          Check(run.RxChar == -1 || (run.RxChar > 0 && run.RxChar == Script.LastCount), "OnRxChar's count");
        } else {
          Check(run.RxChar == -1, "OnRxChar with a client attached");
        }
        for (int i = 0; i < 2; ++i) {
          const bool told = controls && clients[i].Comm() != nullptr && clients[i].Active();
          Check(users[i].Got == before[i] + (told ? stepBytes : std::string()), "a client got other bytes");
        }
        break;
      }
      case 7: {
        std::string text;
        Guard([&] { text = port.ReadText(); }, failRead, failCount);
        run.Take(text, "ReadText gave other bytes than the device");
        break;
      }
      case 8: {
        char buffer[80];
        const int32_t count = input.ConsumeIntegralInRange<int32_t>(-2, sizeof buffer);
        int32_t got = 0;
        Guard([&] { got = port.ReadBuf(buffer, count); }, failRead, failCount);
        Check(got >= 0 && got <= std::max(count, 0), "ReadBuf read more than asked");
        run.Take(std::string_view(buffer, static_cast<std::size_t>(got)), "ReadBuf gave other bytes than the device");
        break;
      }
      case 9: {
        if (input.ConsumeBool()) {
          port.PurgeRead();
          Check(Script.Queue.empty(), "PurgeRead left bytes");
          break;
        }
        char ch = 0;
        bool read = false;
        Guard([&] { read = port.ReadChar(ch); }, failRead, failCount);
        if (read) run.Take(std::string_view(&ch, 1), "ReadChar gave another byte than the device");
        break;
      }
    }
    Check(run.Delivered == Script.HandedOut.size(), "bytes the device gave were lost");
  }
  port.OnRxBuf = nullptr;
  port.OnRxChar = nullptr;
  return 0;
}
