#include "display/com_display_output.h"

#include <exception>

namespace kestova {
namespace {

// Marks a close or open of the port under way. Both wait for the port's threads while running
// the main thread's queued tasks, so a message or a device report handled meanwhile must not
// start a restart of its own in the middle of this one.
class TRestartScope {
 public:
  explicit TRestartScope(bool& flag) noexcept : FFlag(flag) { FFlag = true; }
  ~TRestartScope() { FFlag = false; }
  TRestartScope(const TRestartScope&) = delete;
  TRestartScope& operator=(const TRestartScope&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

TComDisplayOutput::TComDisplayOutput(TSerialComm& port, TLog log, TMainThread& main)
    : FPort(port),
      FLog(std::move(log)),
      FMain(main),
      FWatcher([this, alive = std::weak_ptr<bool>(FAlive)](uint64_t watch) {
        FMain.Queue([this, alive, watch] {
          if (alive.lock()) DeviceAppeared(watch);
        });
      }) {
  FPort.SetNewestOnly(true);
}

// The watcher goes first (it is the last member), so no report is queued after this.
TComDisplayOutput::~TComDisplayOutput() = default;

void TComDisplayOutput::SetDisplayProtocol(TDisplayProtocol protocol, const ByteString& init, int32_t width) {
  FProtocol = protocol;
  FOpening = OpeningBytes(protocol) + init;
  FWidth = width;
}

void TComDisplayOutput::Show(const ByteString& line1, const ByteString& line2) {
  FLastFrame = UpdateBytes(FProtocol, line1, line2, FWidth);
  FHaveFrame = true;
  // A restart under way writes the newest frame once the port is open again.
  if (FRestarting) return;
  if (Write(FLastFrame)) return;
  FLog("Sending failed. Restarting COM port...");
  const TRestartScope restarting(FRestarting);
  FPort.Close();
  try {
    FPort.Open();
  } catch (...) {
    // Whatever the path leads to now cannot be opened: wait for it to change.
    WatchForDevice(FileIdOfPath(FPort.DevicePath()));
    throw;
  }
  Opened();
}

void TComDisplayOutput::LineErrors(int32_t errors) {
  // The device hung up (an adapter unplugged) or stopped taking bytes. Left open, the port
  // would keep failing until the program restarts.
  if ((static_cast<uint32_t>(errors) & CE_IOE) == 0 || !FPort.Active() || FRestarting) return;
  const TRestartScope restarting(FRestarting);
  FPort.Close();
  // The device that went away may still be there for a moment: only another one counts.
  WatchForDevice(FOpenedDevice);
}

void TComDisplayOutput::Close() {
  FWatcher.Cancel();
  FWatch = 0;
  FPort.Close();
}

void TComDisplayOutput::Opened() {
  FWatcher.Cancel();
  FWatch = 0;
  FOpenedDevice = FileIdOfFd(FPort.Handle());
  FOpeningState = FOpening.empty() ? TOpening::Taken : TOpening::Due;
  if (FHaveFrame) Write(FLastFrame);
}

bool TComDisplayOutput::Write(const ByteString& frame) {
  // An empty queue means the write thread took the frame that carried them (or the port closed,
  // and then this write fails and the reopen starts over).
  if (FOpeningState == TOpening::Queued && FPort.WriteBufUsed() == 0) FOpeningState = TOpening::Taken;
  if (FOpeningState == TOpening::Taken) return FPort.WriteText(frame);
  const bool taken = FPort.WriteText(FOpening + frame);
  if (taken) FOpeningState = TOpening::Queued;
  return taken;
}

void TComDisplayOutput::WatchForDevice(std::optional<TFileId> skip) {
  FWatch = FWatcher.Watch(FPort.DevicePath(), skip);
}

void TComDisplayOutput::DeviceAppeared(uint64_t watch) {
  if (watch != FWatch || FPort.Active() || FRestarting) return;
  const TRestartScope restarting(FRestarting);
  const std::string path = FPort.DevicePath();
  try {
    FPort.Open();
  } catch (const std::exception& e) {
    FLog("COM port not reopened: " + std::string(e.what()));
    WatchForDevice(FileIdOfPath(path));
    return;
  }
  FLog("COM port reopened: " + path);
  try {
    Opened();
  } catch (const std::exception& e) {
    // A task of the main thread's own: nothing above it would catch this.
    FLog(e.what());
  }
}

}  // namespace kestova
