#pragma once
// The display service's serial output: frames to the pole display through its port, and the
// port brought back by itself.
//
// - A frame the port does not take (the port is closed) restarts it: "Sending failed.
//   Restarting COM port...", Close, Open, and the frame is written once more on the reopened
//   port; only when that fails too is the frame lost.
// - A hang-up (line error CE_IOE: the adapter was unplugged) closes the port; a port whose
//   Open fails stays closed. Either way the device path is watched from then on (following
//   its links, platform/path_watcher.h) and the port is reopened as soon as the device is back
//   ("COM port reopened: " + path), then the last frame is written again, so the display shows
//   what it showed before without waiting for the next message.
// - Opened() is the one step that runs after every successful (re)open of the port: whatever a
//   display needs on a fresh line goes there.
//
// The port is put in newest-only mode: a frame replaces the frames still waiting for the line.
//
// Threads: main thread only; the watcher's reports are handed over to it with Queue.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/main_thread.h"
#include "platform/path_watcher.h"
#include "platform/text_codec.h"
#include "serial/serial_comm.h"

namespace kestova {

class TComDisplayOutput {
 public:
  using TLog = std::function<void(const std::string& Msg)>;

  // `port` is the service's; it must outlive this object. Configures it (closed) for frames.
  TComDisplayOutput(TSerialComm& port, TLog log, TMainThread& main = MainThread());
  ~TComDisplayOutput();
  TComDisplayOutput(const TComDisplayOutput&) = delete;
  TComDisplayOutput& operator=(const TComDisplayOutput&) = delete;

  // Writes one frame, restarting the port when it is not taken; raises what Open raises.
  void Show(const ByteString& frame);
  // The port's line errors (after they were logged).
  void LineErrors(int32_t errors);
  // Closes the port and stops watching for its device.
  void Close();

 private:
  void Opened();
  // Reopens the port when its path leads to a file other than `skip`, or changes.
  void WatchForDevice(std::optional<TFileId> skip);
  void DeviceAppeared(uint64_t watch);

  TSerialComm& FPort;
  TLog FLog;
  TMainThread& FMain;
  ByteString FLastFrame;
  bool FHaveFrame = false;
  std::optional<TFileId> FOpenedDevice;  // the file the port has open
  uint64_t FWatch = 0;                   // the watch whose reports count; 0: none
  // Lets a report queued for the main thread see that this object is gone.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  TPathWatcher FWatcher;
};

}  // namespace kestova
