// The port's line control, modem and hold states, and its capability record.
#include "serial/serial_custom_comm.h"
#include "serial/serial_line_control.h"

namespace kestova {

void TSerialCustomComm::ApplyEscape(uint32_t code) {
  if (!Active()) return;
  int rc = 0;
  {
    std::lock_guard lock(FGlobalSection);
    if (!FDevice) return;
    rc = EscapeCommFunction(*FDevice, code);
    if (rc == 0 && (code == SETXOFF || code == SETXON)) FOutputSuspended = code == SETXOFF;
  }
  Watch(rc, sErrCommFunction);
}

void TSerialCustomComm::SetDTR(bool Value) {
  if (FFlowControl->ControlDtr() == dtrHandshake) Error(sErrDtrHandshake, 0);
  ApplyEscape(ESC_DTR[Value]);
}

void TSerialCustomComm::SetRTS(bool Value) {
  const TSerialControlRts rts = FFlowControl->ControlRts();
  if (rts == rtsHandshake || rts == rtsToggle) Error(sErrRtsHandshake, 0);
  ApplyEscape(ESC_RTS[Value]);
}

void TSerialCustomComm::SetBreak(bool Value) { ApplyEscape(ESC_BREAK[Value]); }
void TSerialCustomComm::SetXon(bool Value) { ApplyEscape(ESC_XOFFXON[Value]); }
void TSerialCustomComm::ResetDev() { ApplyEscape(RESETDEV); }

bool TSerialCustomComm::ModemState(int index) {
  if (index < 1 || index > static_cast<int>(Mask.size()) || !Active()) return false;
  uint32_t lines = 0;
  int rc = 0;
  {
    std::lock_guard lock(FGlobalSection);
    if (!FDevice) return false;
    rc = FDevice->GetModemLines(lines);
  }
  if (rc != 0) {
    Error(sErrModemState, rc);
    return false;
  }
  return (ModemStatusFromLines(lines) & Mask[static_cast<std::size_t>(index - 1)]) != 0;
}

bool TSerialCustomComm::ComStatFlag(int index) {
  if (index < 1 || index > 8) return false;
  return ((ReadPortStatus().Flags >> (index - 1)) & 1u) != 0;
}

TSerialCommProp TSerialCustomComm::Properties() {
  if (!Active()) {
    Error(sErrPortClosed, 0);
    return {};
  }
  int rc = 0;
  TSerialInfo info;
  bool hasInfo = false;
  bool hasLines = false;
  {
    std::lock_guard lock(FGlobalSection);
    if (!FDevice) return {};
    // A device that no longer answers (hung up, gone) fails here; a tty always answers.
    TSerialTermios t;
    rc = FDevice->GetAttr(t);
    if (rc == 0) {
      const int infoRc = FDevice->GetSerialInfo(info);
      hasInfo = infoRc == 0;
      if (infoRc != 0 && !IsUnsupported(infoRc)) rc = infoRc;
    }
    uint32_t lines = 0;
    if (rc == 0) hasLines = FDevice->GetModemLines(lines) == 0;
  }
  if (rc != 0) {
    Error(sErrProperties, rc);
    return {};
  }
  return BuildCommProp(hasInfo ? &info : nullptr, hasLines);
}

}  // namespace kestova
