#pragma once
// The display service's serial output: updates to the pole display through its port, in the
// display's command set, and the port brought back by itself.
//
// - A frame the port does not take (the port is closed) restarts it: "Sending failed.
//   Restarting COM port...", Close, Open, and the frame is written once more on the reopened
//   port; only when that fails too is the frame lost.
// - A hang-up (line error CE_IOE: the adapter was unplugged) closes the port; a port whose
//   Open fails stays closed. Either way the device path is watched from then on (following
//   its links, platform/path_watcher.h) and the port is reopened as soon as the device is back
//   ("COM port reopened: " + path), then the last frame is written again, so the display shows
//   what it showed before without waiting for the next message.
// - Opened() is the one step that runs after every successful (re)open of the port: the command
//   set's opening bytes and the DisplayInit bytes go out on the fresh line, before the frame.
//
// The port is put in newest-only mode: a frame replaces the frames still waiting for the line.
// So the opening bytes never go alone: they ride in front of the first frame after an open, and
// in front of every later frame until the write thread has taken one that carries them (a frame
// written before that replaces the one carrying them). When the thread takes it just between the
// look at the queue and the write, the display gets them twice, which initialising commands allow.
//
// Threads: main thread only; the watcher's reports are handed over to it with Queue.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "display/display_protocol.h"
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

  // The display's command set and the bytes it needs after its own opening bytes; set before
  // the first Show. Without a call: the frame set, nothing on opening.
  void SetDisplayProtocol(TDisplayProtocol protocol, const ByteString& init, int32_t width);
  // Writes the update of the two prepared lines, restarting the port when it is not taken;
  // raises what Open raises.
  void Show(const ByteString& line1, const ByteString& line2);
  // The port's line errors (after they were logged).
  void LineErrors(int32_t errors);
  // Closes the port and stops watching for its device.
  void Close();

 private:
  void Opened();
  // Writes a frame, with the opening bytes in front while the display may not have them yet.
  bool Write(const ByteString& frame);
  // Reopens the port when its path leads to a file other than `skip`, or changes.
  void WatchForDevice(std::optional<TFileId> skip);
  void DeviceAppeared(uint64_t watch);

  TSerialComm& FPort;
  TLog FLog;
  TMainThread& FMain;
  TDisplayProtocol FProtocol = kDefaultDisplayProtocol;
  int32_t FWidth = 0;
  ByteString FOpening;  // the set's opening bytes, then the DisplayInit bytes
  // Where the opening bytes are since the last open: not written yet, waiting in the queue (in
  // front of a frame), or taken by the write thread.
  enum class TOpening : uint8_t { Due, Queued, Taken };
  TOpening FOpeningState = TOpening::Taken;
  ByteString FLastFrame;
  bool FHaveFrame = false;
  bool FRestarting = false;              // the port is being closed or opened (see TRestartScope)
  std::optional<TFileId> FOpenedDevice;  // the file the port has open
  uint64_t FWatch = 0;                   // the watch whose reports count; 0: none
  // Lets a report queued for the main thread see that this object is gone.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  TPathWatcher FWatcher;
};

}  // namespace kestova
