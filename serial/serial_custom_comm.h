#pragma once
// The serial port component: one serial device opened by number or path, its line parameters,
// a write queue sent by a write thread of its own, line events watched by an event thread of
// its own and reported on the main thread.
//
// Devices. The device is DeviceName formatted with PortNum (see device_path.h): "COM<n>" is
// /dev/ttyS<n-1>, an absolute path (/dev/ttyUSB0, a pty) is used as it is, any other name is
// looked up under /dev. The device is opened exclusively; a second opener, in this process or
// another, gets "Can't open specified device ... (Error 16, Device or resource busy)".
//
// Line parameters. The properties give the line-parameter record (serial_dcb.h), which becomes
// termios (serial_termios.h says what has no Linux counterpart and how it is treated). The
// line discipline is always raw with reads that return at once, also when UpdateDCB is False
// (then speed, size, parity, stop bits, flow control and characters stay as the driver had
// them). DTR and RTS follow ControlDtr/ControlRts; a device without modem lines (a pty) keeps
// working without them. Linux has no driver queue sizes to request: that step always succeeds.
//
// Input. Received bytes wait in the driver until they are read (ReadBuf, ReadText, ReadChar),
// and OnRxChar says how many wait, unless a client is attached: then each arrival is read at
// once, up to an empty driver queue, and handed to the clients (DataChanged) and to OnRxBuf.
// WaitChar blocks in poll(2) on the device, up to its time-out; no thread is started for it.
//
// Line control and status (serial_line_control.h says what each escape code does on Linux).
// CTS, DSR, RING and RLSD read the modem lines; a pseudo terminal has none, so on a pty they
// raise "Error reading modem state (25), Inappropriate ioctl for device", as SetDTR and SetRTS
// raise "Error calling comm function (25), ...". Linux tells nothing of its transmit holds, so
// the hold states say what the port can know itself: CTSHold is True while RTS/CTS flow is on
// and CTS is low; XOffHold is True from SetXon(False) until SetXon(True) (an XOFF from the other
// side stops the kernel's output without telling anyone); DSRHold, RLSDHold and XOffSent are
// always False (Linux has no DSR or carrier output flow, and its XOFF sending is not visible).
// Properties: serial_properties.h. ResetPortParameters reads the device's current termios and
// modem lines, as Linux keeps no separate default configuration: through the open device, or,
// on a closed port, by opening the device briefly (which raises DTR and RTS while it is open,
// as any opener of a tty does); Linux has no XON/XOFF limits, so Buffers keeps its own.
//
// Errors. Every failure of the system becomes an ESerialCommError (or a call of
// OnErrorException) whose message carries errno and strerror's text. The error mask given to
// OnError has the CE_ bits of serial_types.h, built from the kernel's error counters and from
// what the threads saw (CE_IOE: the line hung up or a write failed); a mask is reported once.
// On a device without error counters (a pty) only CE_IOE can occur.
//
// Threads. Property setters, Open, Close, the purges, the status queries, line control, the
// clients and the settings store belong to the thread that owns the port: the main thread
// (MainThread()), which must keep running its queued tasks (an event loop, or Drain/JoinPumping)
// while the port is open and SyncThreads is True. WriteBuf, WriteText, WriteChar, ReadBuf,
// ReadText, ReadChar, WaitChar and ReadCharWait may be called from any thread. Set the event
// handlers while the port is closed, and with SyncThreads False attach and detach clients while
// it is closed too. With SyncThreads True (the default) every event handler runs on the main
// thread: the event thread waits until its dispatch has run; the write thread does not wait
// for its reports (an emptied queue, a failed write), it goes on sending while they wait for the
// main thread, and reports that pile up meanwhile reach the handlers as one (serial_report_box.h).
// So a main thread waiting for room in the queue never waits for the thread that makes the room.
// With SyncThreads False the handlers run on the event thread or the write thread. A handler may
// call Close (a thread that is waiting for it is joined later); it must not destroy the port.
//
// NewestOnly (off by default) is for a display, which only ever needs its newest text: each
// write is one whole frame, a new frame replaces the frames still waiting in the queue, and the
// write thread paces the frames at the line's speed so that stale ones never pile up in the
// driver (serial_write_thread.h).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/main_thread.h"
#include "platform/string_list.h"
#include "platform/text_codec.h"
#include "serial/serial_component.h"
#include "serial/serial_dcb.h"
#include "serial/serial_device.h"
#include "serial/serial_error.h"
#include "serial/serial_line_errors.h"
#include "serial/serial_persistent.h"
#include "serial/serial_properties.h"
#include "serial/serial_types.h"
#include "serial/settings_store.h"

namespace kestova {

class TSerialDisplay;
class TSerialThread;
class TSerialCommEventThread;
class TSerialCommWriteThread;
class TSerialReportBox;
class TSerialDispatcher;
class ISerialCommUser;

// The port's status record: line-error mask, transmit-hold flags (fCtsHold ... of
// serial_line_control.h) and both queue counts.
struct TSerialComStat {
  uint32_t Errors = 0;
  uint32_t Flags = 0;
  int32_t InQue = 0;
  int32_t OutQue = 0;
};

class TSerialCustomComm : public TSerialComponent {
 public:
  using TNotifyEvent = std::function<void(TSerialCustomComm& Sender)>;
  using TErrorEvent = std::function<void(TSerialCustomComm& Sender, int32_t Errors)>;
  using TErrorExceptionEvent =
      std::function<void(TSerialCustomComm& Sender, int32_t Errors, const std::string& ExceptionMsg)>;
  using TRxCharEvent = std::function<void(TSerialCustomComm& Sender, int32_t Count)>;
  using TRxBufEvent = std::function<void(TSerialCustomComm& Sender, const uint8_t* Data, int32_t Count)>;
  using TApplicationExceptionEvent = std::function<void(TSerialCustomComm& Sender, const std::string& Message)>;

  static constexpr uint32_t kVersion = 0x02020001;
  static constexpr std::chrono::milliseconds kClosePause{300};
  static constexpr std::chrono::milliseconds kFlushTimeout{2000};

  explicit TSerialCustomComm(TMainThread& main = MainThread());
  ~TSerialCustomComm() override;

  // Opens when AutoOpen is set.
  void Loaded() override;
  // Opens the device and starts the threads; raises ESerialCommError on failure (the port is
  // then closed).
  void Open();
  // Stops the threads, closes the device, raises OnClose and pauses kClosePause. Nothing
  // when closed.
  void Close();
  bool Active() const noexcept { return FHandle.load() >= 0; }
  // The device's file descriptor; -1 while closed.
  int Handle() const noexcept { return FHandle.load(); }
  // The device file Open uses.
  std::string DevicePath() const;

  // Output, from any thread. WriteBuf returns the bytes accepted (0 when closed); queued mode
  // waits up to Buffers.WriteTimeout for room and raises "Output buffer is full. Please check
  // comm status." when there is none.
  int32_t WriteBuf(const void* Buf, int32_t Count);
  bool WriteText(const ByteString& s);
  bool WriteChar(char Ch);

  int32_t WriteBufUsed();
  int32_t WriteBufFree();
  int32_t UARTWriteBufUsed();
  int32_t UARTReadBufUsed();
  int32_t ReadBufUsed();
  int32_t ReadBufFree();
  void PurgeRead() { Purge(PURGE_RXABORT | PURGE_RXCLEAR); }
  void PurgeWrite() { Purge(PURGE_TXABORT | PURGE_TXCLEAR); }
  void PurgeReadWrite() { Purge(PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR); }

  // Input, from any thread. ReadBuf returns the bytes read at once (at most Count; 0 when
  // closed) and raises "Read error (%d), %s" when the device fails.
  int32_t ReadBuf(void* Buf, int32_t Count);
  // What waits in the driver now; empty when nothing does.
  ByteString ReadText();
  bool ReadChar(char& Ch);
  // True when a byte waits within TimeOut ms (a negative TimeOut waits without limit); False
  // at once on a closed port or when the line hangs up.
  bool WaitChar(int32_t TimeOut);
  bool ReadCharWait(char& Ch, int32_t TimeOut);

  // Line control: nothing on a closed port.
  void SetDTR(bool Value);
  void SetRTS(bool Value);
  void SetBreak(bool Value);
  void SetXon(bool Value);
  void ResetDev();
  // Modem input lines; False on a closed port.
  bool CTS() { return ModemState(1); }
  bool DSR() { return ModemState(2); }
  bool RING() { return ModemState(3); }
  bool RLSD() { return ModemState(4); }
  // Transmit holds (see above); False on a closed port.
  bool CTSHold() { return ComStatFlag(1); }
  bool DSRHold() { return ComStatFlag(2); }
  bool RLSDHold() { return ComStatFlag(3); }
  bool XOffHold() { return ComStatFlag(4); }
  bool XOffSent() { return ComStatFlag(5); }
  // The capability record; "Can't perform this operation while port is closed" when closed.
  TSerialCommProp Properties();
  // Sets the line properties from the device's configuration.
  void ResetPortParameters();
  // The serial ports of this machine: device files, then their /dev/serial/by-id links.
  void GetComPortNames(TStringList& Value) const;

  // Clients (serial_dispatcher.h). The port does not own them; it detaches them when it goes.
  void InsertClient(TSerialDispatcher* Value);
  void RemoveClient(TSerialDispatcher* Value);
  // Switch the notifications of clients on and off (on at creation).
  void EnableControls() { FControlsEnabled = true; }
  void DisableControls() { FControlsEnabled = false; }

  // The settings store (settings_store.h): port number, speed, parity, data bits, stop bits
  // and the flow-control summary. LoadSettings returns False, changing nothing, when the store
  // holds no saved settings; stored numbers outside their range are refused, also changing
  // nothing. Errors of the file are raised as Exception.
  void SaveSettings();
  bool LoadSettings();

  // Run-time properties.
  bool SyncThreads() const noexcept { return FSyncThreads; }
  void SetSyncThreads(bool value) noexcept { FSyncThreads = value; }
  bool NewestOnly() const noexcept { return FNewestOnly; }
  // Closed port only.
  void SetNewestOnly(bool value);
  // Replaces how devices are opened (tests script the device through it); closed port only.
  void SetDeviceOpener(TSerialDeviceOpener opener);
  // The display component told us it is going away.
  void Notification(TSerialDisplay* component);

  // Instead of raising any ESerialCommError: (Sender, system error code, system text).
  TErrorExceptionEvent OnErrorException;
  // Receives the errors of event handlers and of the dispatch, which go no further; without it
  // they are written to standard error.
  TApplicationExceptionEvent OnApplicationException;

 protected:
  // The published properties (TSerialComm makes them public).
  bool AutoOpen() const { return FAutoOpen; }
  void SetAutoOpen(bool value) { FAutoOpen = value; }
  TSerialBaudrate Baudrate() const { return FBaudrate; }
  void SetBaudrate(TSerialBaudrate value);
  TSerialParity Parity() const { return FParity; }
  void SetParity(TSerialParity value);
  TSerialDatabits Databits() const { return FDatabits; }
  void SetDatabits(TSerialDatabits value);
  TSerialStopbits Stopbits() const { return FStopbits; }
  void SetStopbits(TSerialStopbits value);
  TSerialEventChars& EventChars() { return *FEventChars; }
  void SetEventChars(const TSerialEventChars& value) { FEventChars->Assign(value); }
  TSerialFlowControl& FlowControl() { return *FFlowControl; }
  void SetFlowControl(const TSerialFlowControl& value) { FFlowControl->Assign(value); }
  TSerialCommOptions Options() const { return FOptions; }
  void SetOptions(TSerialCommOptions value);
  TSerialPortInt PortNum() const { return FPortNum; }
  void SetPortNum(TSerialPortInt value);
  const std::string& DeviceName() const { return FDeviceName; }
  void SetDeviceName(const std::string& value);
  TSerialCommEvents MonitorEvents() const { return FMonitorEvents; }
  void SetMonitorEvents(TSerialCommEvents value);
  TSerialBuffers& Buffers() { return *FBuffers; }
  void SetBuffers(const TSerialBuffers& value);
  TThreadPriority EventPriority() const { return FEventPriority; }
  void SetEventPriority(TThreadPriority value);
  TThreadPriority WritePriority() const { return FWritePriority; }
  void SetWritePriority(TThreadPriority value);
  bool DirectWrite() const { return FDirectWrite; }
  void SetDirectWrite(bool value);
  bool UpdateDCB() const { return FUpdateDCB; }
  void SetUpdateDCB(bool value);
  int32_t UserBaudrate() const { return FUserBaudrate; }
  void SetUserBaudrate(int32_t value);
  TSettingsStore& SettingsStore() { return *FSettingsStore; }
  void SetSettingsStore(const TSettingsStore& value) { FSettingsStore->Assign(value); }
  TSerialDisplay* Display() const { return FDisplay; }
  void SetDisplay(TSerialDisplay* value);
  std::string Version() const;
  void SetVersion(const std::string&) {}

  // The published events.
  TNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak, OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full,
      OnEvent1, OnEvent2;
  TErrorEvent OnError;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;

  // The steps that derived ports may refine.
  virtual void CreateHandle();
  virtual void CreateThreads();
  virtual void HandleDataEvent();
  virtual void HandleLineEvent(uint32_t mask);
  virtual void WriteEvents();
  // Offers bytes to the write queue, waiting up to Buffers.WriteTimeout for room.
  virtual bool WriteBuffer(const void* Buf, int32_t Count);

  // The raising step: OnErrorException when set (and returns), else ESerialCommError with
  // `templ` completed by `code` (%d) and its system text (%s).
  void Error(const std::string& templ, int code);
  // Error(templ, code) when `code` is not 0.
  void Watch(int code, const std::string& templ);
  // "Can't perform this operation while port is open" when open; true when closed. A setter
  // whose error was passed to OnErrorException leaves its value unchanged.
  bool CheckClosed();
  // Applies the line parameters when open and UpdateDCB is set.
  void ApplyLineParams();
  // Tells the write thread how long the line now takes per character.
  void UpdateCharacterTime();
  TSerialLineSettings LineSettings() const;
  // Reads the port status; a closed port gives zeros. Only the error step takes (and so
  // clears) the error mask: the queue counts and the holds leave it for the error step, so
  // errors that come with data are reported after the data.
  TSerialComStat ReadPortStatus(bool takeErrors = false);
  // The modem line of a status property (index 1..4); False when closed.
  bool ModemState(int index);
  // Bit index-1 of the transmit-status flags; False outside 1..8 and when closed.
  bool ComStatFlag(int index);
  // Carries out an escape code on an open port; "Error calling comm function" on failure.
  void ApplyEscape(uint32_t code);
  // Clears the line errors and raises OnError with a non-zero mask; true when it was non-zero.
  bool ClearLineErrors();
  void Purge(uint32_t flags);

  // Runs `step`, passing what it throws to the application's exception handler.
  void Guarded(const std::function<void()>& step) noexcept;

  TMainThread& FMain;
  // Both guard the device: FWriteSection the write queue and a whole direct write,
  // FGlobalSection the status reads, the purges and the device's lifetime.
  std::mutex FWriteSection;
  std::condition_variable FWriteRoom;
  std::recursive_mutex FGlobalSection;

 private:
  void Dispatch(uint32_t mask);
  // Tells every active client, in attachment order, while notifications are on; a client
  // detached by an earlier one's notification is not told.
  void NotifyClients(const std::function<void(ISerialCommUser&)>& notify);
  bool IsClient(const TSerialDispatcher* client) const;
  // Reads what waits, at most Count bytes; 0 or an errno value.
  int ReadDevice(void* Buf, int32_t Count, int32_t& got);
  // A thread's report, on the main thread when the thread was started synchronised.
  void ThreadReport(TSerialThread& from, bool sync, uint32_t mask, bool fullDispatch);
  // The write thread's report, on the main thread; the thread did not wait for it.
  void RunWriteReport(uint32_t mask);
  int32_t DirectWriteBuf(const void* Buf, int32_t Count);
  void OnBuffersChanged();
  void StopThreads();
  void TearDown();
  void CloseDevice();
  // Takes the thread out of `member`, stops it and joins it, or hands it to FRetired when it
  // cannot be joined now: it is the calling thread, or it waits for the handler that called Close.
  template <typename T>
  void EndThread(std::unique_ptr<T>& member);
  void JoinRetired();

  std::shared_ptr<TSerialDevice> FDevice;
  std::atomic<int> FHandle{-1};
  TSerialDeviceOpener FOpener;
  TSerialLineErrors FLineErrors;
  std::unique_ptr<TSerialCommEventThread> FEventThread;
  std::unique_ptr<TSerialCommWriteThread> FWriteThread;  // guarded by FWriteSection
  std::shared_ptr<TSerialReportBox> FWriteReports;       // the write thread's, while it runs
  TSerialCommEventThread* FTxWatcher = nullptr;          // guarded by FWriteSection; direct writes tell it
  std::vector<std::unique_ptr<TSerialThread>> FRetired;
  TSerialThread* FSyncCaller = nullptr;  // main thread: the thread whose report runs now
  uint32_t FEventMask = 0;
  bool FDestroying = false;
  bool FOutputSuspended = false;             // guarded by FGlobalSection: SetXon(False) is in force
  std::vector<TSerialDispatcher*> FClients;  // not owned; attachment order
  std::atomic<bool> FControlsEnabled{true};

  bool FAutoOpen = false;
  TSerialPortInt FPortNum = 0;
  std::string FDeviceName = "COM%d";
  TSerialCommEvents FMonitorEvents{ceError, ceRxChar, ceTxEmpty};
  std::unique_ptr<TSerialBuffers> FBuffers;
  TThreadPriority FEventPriority = tpNormal;
  TThreadPriority FWritePriority = tpHighest;
  bool FDirectWrite = false;
  TSerialBaudrate FBaudrate = br1200;
  TSerialParity FParity = paNone;
  TSerialDatabits FDatabits = db8;
  TSerialStopbits FStopbits = sb1;
  TSerialCommOptions FOptions;
  std::unique_ptr<TSerialFlowControl> FFlowControl;
  std::unique_ptr<TSerialEventChars> FEventChars;
  bool FUpdateDCB = true;
  int32_t FUserBaudrate = 0;
  TSerialDisplay* FDisplay = nullptr;  // not owned; forgotten when it is destroyed
  bool FSyncThreads = true;
  bool FNewestOnly = false;
  std::unique_ptr<TSettingsStore> FSettingsStore;
};

}  // namespace kestova
