// The port's properties and its lifecycle: opening, the threads, closing.
#include "serial/serial_custom_comm.h"

#include <cerrno>
#include <thread>

#include "serial/device_path.h"
#include "serial/serial_display.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_report_box.h"
#include "serial/serial_termios.h"
#include "serial/serial_write_thread.h"

namespace kestova {

TSerialDisplay::~TSerialDisplay() {
  const auto watchers = FWatchers;
  for (TSerialCustomComm* port : watchers) port->Notification(this);
}

TSerialCustomComm::TSerialCustomComm(TMainThread& main)
    : FMain(main),
      FBuffers(std::make_unique<TSerialBuffers>()),
      FFlowControl(std::make_unique<TSerialFlowControl>()),
      FEventChars(std::make_unique<TSerialEventChars>()),
      FSettingsStore(std::make_unique<TSettingsStore>()) {
  FBuffers->OnChange = [this](TSerialPersistent&) { OnBuffersChanged(); };
  FFlowControl->OnChange = [this](TSerialPersistent&) { ApplyLineParams(); };
  FEventChars->OnChange = [this](TSerialPersistent&) { ApplyLineParams(); };
}

TSerialCustomComm::~TSerialCustomComm() {
  FDestroying = true;
  try {
    Close();
    TearDown();
    JoinRetired();
  } catch (...) {
    // A destructor reports nothing: what the main thread's tasks raised while it waited.
  }
  while (!FClients.empty()) RemoveClient(FClients.back());
  if (FDisplay) FDisplay->RemoveWatcher(this);
}

void TSerialCustomComm::Loaded() {
  if (FAutoOpen) Open();
}

std::string TSerialCustomComm::DevicePath() const { return SerialDevicePath(FDeviceName, FPortNum); }

std::string TSerialCustomComm::Version() const {
  return Format("%d.%d.%d.%d", (kVersion >> 24) & 0xFF, (kVersion >> 16) & 0xFF, (kVersion >> 8) & 0xFF,
                kVersion & 0xFF);
}

// ---- properties

bool TSerialCustomComm::CheckClosed() {
  if (!Active()) return true;
  Error(sErrPortOpen, 0);
  return false;
}

void TSerialCustomComm::SetBaudrate(TSerialBaudrate value) {
  if (value == FBaudrate) return;
  FBaudrate = value;
  if (value != brUser) FUserBaudrate = 0;
  ApplyLineParams();
}

void TSerialCustomComm::SetUserBaudrate(int32_t value) {
  if (value == FUserBaudrate) return;
  FUserBaudrate = value;
  FBaudrate = brUser;
  ApplyLineParams();
}

void TSerialCustomComm::SetParity(TSerialParity value) {
  if (value == FParity) return;
  FParity = value;
  ApplyLineParams();
}

void TSerialCustomComm::SetDatabits(TSerialDatabits value) {
  if (value == FDatabits) return;
  FDatabits = value;
  ApplyLineParams();
}

void TSerialCustomComm::SetStopbits(TSerialStopbits value) {
  if (value == FStopbits) return;
  FStopbits = value;
  ApplyLineParams();
}

void TSerialCustomComm::SetOptions(TSerialCommOptions value) {
  if (value == FOptions) return;
  FOptions = value;
  ApplyLineParams();
}

void TSerialCustomComm::SetPortNum(TSerialPortInt value) {
  if (CheckClosed()) FPortNum = value;
}

void TSerialCustomComm::SetDeviceName(const std::string& value) {
  if (CheckClosed()) FDeviceName = value;
}

void TSerialCustomComm::SetMonitorEvents(TSerialCommEvents value) {
  if (CheckClosed()) FMonitorEvents = value;
}

void TSerialCustomComm::SetBuffers(const TSerialBuffers& value) {
  if (CheckClosed()) FBuffers->Assign(value);
}

void TSerialCustomComm::SetDirectWrite(bool value) {
  if (CheckClosed()) FDirectWrite = value;
}

void TSerialCustomComm::SetUpdateDCB(bool value) {
  if (CheckClosed()) FUpdateDCB = value;
}

void TSerialCustomComm::SetNewestOnly(bool value) {
  if (CheckClosed()) FNewestOnly = value;
}

void TSerialCustomComm::SetDeviceOpener(TSerialDeviceOpener opener) {
  if (CheckClosed()) FOpener = std::move(opener);
}

void TSerialCustomComm::SetEventPriority(TThreadPriority value) {
  if (value == FEventPriority) return;
  FEventPriority = value;
  if (FEventThread) FEventThread->SetPriority(value);
}

void TSerialCustomComm::SetWritePriority(TThreadPriority value) {
  if (value == FWritePriority) return;
  FWritePriority = value;
  std::lock_guard lock(FWriteSection);
  if (FWriteThread) FWriteThread->SetPriority(value);
}

void TSerialCustomComm::SetDisplay(TSerialDisplay* value) {
  if (value == FDisplay) return;
  if (FDisplay) FDisplay->RemoveWatcher(this);
  FDisplay = value;
  if (FDisplay) FDisplay->AddWatcher(this);
}

void TSerialCustomComm::Notification(TSerialDisplay* component) {
  if (component != nullptr && component == FDisplay) FDisplay = nullptr;
}

void TSerialCustomComm::OnBuffersChanged() {
  // Sizes and limits are taken at opening; Linux has no driver queue sizes to apply.
  if (!CheckClosed()) ApplyLineParams();
}

TSerialLineSettings TSerialCustomComm::LineSettings() const {
  TSerialLineSettings s;
  s.Baudrate = FBaudrate;
  s.UserBaudrate = FUserBaudrate;
  s.Parity = FParity;
  s.Databits = FDatabits;
  s.Stopbits = FStopbits;
  s.Options = FOptions;
  s.OutCtsFlow = FFlowControl->OutCtsFlow();
  s.OutDsrFlow = FFlowControl->OutDsrFlow();
  s.ControlDtr = FFlowControl->ControlDtr();
  s.ControlRts = FFlowControl->ControlRts();
  s.XonXoffOut = FFlowControl->XonXoffOut();
  s.XonXoffIn = FFlowControl->XonXoffIn();
  s.DsrSensitivity = FFlowControl->DsrSensitivity();
  s.TxContinueOnXoff = FFlowControl->TxContinueOnXoff();
  s.XonChar = FEventChars->XonChar();
  s.XoffChar = FEventChars->XoffChar();
  s.ErrorChar = FEventChars->ErrorChar();
  s.EventChar = FEventChars->EventChar();
  s.EofChar = FEventChars->EofChar();
  s.XonLimit = FBuffers->XonLimit();
  s.XoffLimit = FBuffers->XoffLimit();
  return s;
}

void TSerialCustomComm::ApplyLineParams() {
  if (!Active() || !FUpdateDCB) return;
  const TSerialDcb dcb = BuildDcb(LineSettings());
  int rc = 0;
  {
    std::lock_guard lock(FGlobalSection);
    if (!FDevice) return;
    TSerialTermios t;
    rc = FDevice->GetAttr(t);
    if (rc == 0) rc = ApplyDcbToTermios(dcb, t);
    if (rc == 0) rc = FDevice->SetAttr(t);
    if (rc == 0) {
      const TSerialModemControl lines = ModemControlFor(dcb);
      const int linesRc = FDevice->SetModemLines(lines.Set, lines.Clear);
      // A device without modem lines (a pty) runs without them.
      if (linesRc != ENOTTY && linesRc != EINVAL) rc = linesRc;
    }
  }
  Watch(rc, sErrWriteDcb);
  UpdateCharacterTime();
}

void TSerialCustomComm::UpdateCharacterTime() {
  if (!FNewestOnly) return;
  // What the driver runs, which is also what it kept when UpdateDCB is False.
  TSerialTermios t;
  {
    std::lock_guard lock(FGlobalSection);
    if (!FDevice || FDevice->GetAttr(t) != 0) return;
  }
  std::lock_guard lock(FWriteSection);
  if (FWriteThread) FWriteThread->SetCharacterTime(CharacterTimeNs(t));
}

// ---- opening

void TSerialCustomComm::Open() {
  JoinRetired();
  if (Active()) {
    Error(sErrPortOpen, 0);
    return;
  }
  CreateHandle();
  if (!Active()) return;
  try {
    ApplyLineParams();
    // Linux has no driver queue sizes to request (Buffers.ReadSize/WriteSize): nothing to set.
    {
      int rc = 0;
      {
        std::lock_guard lock(FGlobalSection);
        TSerialTermios t;
        rc = FDevice->GetAttr(t);
        if (rc == 0) {
          ApplyRawDiscipline(t);
          rc = FDevice->SetAttr(t);
        }
      }
      Watch(rc, sErrSetTimeouts);
    }
    WriteEvents();
    CreateThreads();
    UpdateCharacterTime();
  } catch (...) {
    TearDown();
    throw;
  }
  Guarded([this] {
    if (auto handler = OnOpen) handler(*this);
  });
}

namespace {
// The path goes into a message template: its % signs must stay as they are.
std::string WithPath(const char* templ, const std::string& path) {
  std::string text = templ;
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, EscapePercent(path));
  return text;
}
}  // namespace

void TSerialCustomComm::CreateHandle() {
  const std::string path = DevicePath();
  std::unique_ptr<TSerialDevice> device;
  const int rc = FOpener ? FOpener(path, device) : OpenPosixSerialDevice(path, device);
  if (rc != 0 || !device || device->Handle() < 0) {
    const int code = rc != 0 ? rc : EBADF;
    if (code == ENOENT)
      Error(WithPath(sErrDeviceNotFound, path), code);
    else
      Error(WithPath(sErrOpenDevice, path) + sErrOpenDeviceDetail, code);
    return;
  }
  std::scoped_lock lock(FGlobalSection, FWriteSection);
  FDevice = std::move(device);
  FOutputSuspended = false;
  FLineErrors.Reset(*FDevice);
  FHandle = FDevice->Handle();
}

void TSerialCustomComm::WriteEvents() {
  // The mask goes to the event thread when it starts; there is no driver mask to set, so
  // " Error setting EventMask" cannot occur here.
  FEventMask = EventMaskFor(FMonitorEvents, FDirectWrite);
}

void TSerialCustomComm::CreateThreads() {
  const bool sync = FSyncThreads;
  if (FEventMask != 0) {
    FEventThread = std::make_unique<TSerialCommEventThread>(
        FMain, FDevice, FEventMask, FBuffers->ReadSize(), FLineErrors,
        [this, sync](TSerialCommEventThread& self, uint32_t mask) { ThreadReport(self, sync, mask, true); });
    FEventThread->Start(FEventPriority);
    std::lock_guard lock(FWriteSection);
    FTxWatcher = FEventThread.get();
  }
  if (!FDirectWrite) {
    TSerialCommWriteThread::TReport report;
    if (sync) {
      FWriteReports = std::make_shared<TSerialReportBox>(FMain, [this](uint32_t mask) { RunWriteReport(mask); });
      report = [box = FWriteReports](TSerialCommWriteThread&, uint32_t mask) { box->Post(mask); };
    } else {
      report = [this](TSerialCommWriteThread& self, uint32_t mask) { ThreadReport(self, false, mask, false); };
    }
    auto thread = std::make_unique<TSerialCommWriteThread>(
        FMain, FDevice, FWriteSection, FWriteRoom, FBuffers->WriteSize(), FNewestOnly, FLineErrors, std::move(report),
        [this] { return std::chrono::milliseconds(FBuffers->WriteTimeout()); });
    thread->Start(FWritePriority);
    std::lock_guard lock(FWriteSection);
    FWriteThread = std::move(thread);
  }
}

// ---- closing

void TSerialCustomComm::Close() {
  JoinRetired();
  if (!Active()) return;
  TearDown();
  if (!FDestroying) {
    if (auto handler = OnClose) handler(*this);
  }
  // Gives the device time to settle before it is opened again.
  std::this_thread::sleep_for(kClosePause);
}

template <typename T>
void TSerialCustomComm::EndThread(std::unique_ptr<T>& member) {
  // Taken out of the member first: joining runs the main thread's queued tasks, and one of them
  // may open the port again and put a new thread there, which must not be the one released here.
  std::unique_ptr<T> thread = std::move(member);
  if (!thread) return;
  thread->Stop();
  const bool waitsForUs = FMain.IsMainThread() && FSyncCaller == thread.get();
  if (thread->IsCurrentThread() || waitsForUs) {
    FRetired.push_back(std::move(thread));
    return;
  }
  // On the main thread this keeps running what the thread queued for it, so a thread blocked
  // in a report can finish.
  thread->Worker().Join();
  thread.reset();
}

void TSerialCustomComm::StopThreads() {
  // Without the global lock: with SyncThreads False a dispatch on the event thread takes it,
  // and waiting for that thread while holding it would never end.
  {
    std::lock_guard lock(FWriteSection);
    FTxWatcher = nullptr;
  }
  EndThread(FEventThread);
  std::unique_ptr<TSerialCommWriteThread> writer;
  {
    std::lock_guard lock(FWriteSection);
    writer = std::move(FWriteThread);
  }
  FWriteRoom.notify_all();  // writers waiting for room see the port closing
  EndThread(writer);
  if (FWriteReports) FWriteReports->Close();
  FWriteReports.reset();
}

void TSerialCustomComm::TearDown() {
  StopThreads();
  CloseDevice();
}

void TSerialCustomComm::CloseDevice() {
  std::scoped_lock lock(FGlobalSection, FWriteSection);
  if (FDevice) {
    // The tty keeps a stop of its output after we are gone: the next opener would find it mute.
    if (FOutputSuspended) FDevice->SetOutputFlow(true);
    FDevice->Close();
    FDevice.reset();
  }
  FOutputSuspended = false;
  FHandle = -1;
}

void TSerialCustomComm::JoinRetired() {
  // Joining runs the main thread's queued tasks, and one of them may close the port and retire
  // more threads: the list is taken out first, so the member can grow meanwhile.
  std::vector<std::unique_ptr<TSerialThread>> retired;
  retired.swap(FRetired);
  for (std::unique_ptr<TSerialThread>& thread : retired) {
    if (thread->IsCurrentThread() || (FMain.IsMainThread() && FSyncCaller == thread.get())) {
      FRetired.push_back(std::move(thread));
      continue;
    }
    thread->Worker().Join();
    thread.reset();
  }
}

}  // namespace kestova
