#include "serial/serial_persistent.h"

namespace kestova {

void TSerialPersistent::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(*this);
}

void TSerialPersistent::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  Changed();
}

void TSerialFlowControl::Assign(const TSerialFlowControl& source) {
  BeginUpdate();
  SetOutCtsFlow(source.OutCtsFlow());
  SetOutDsrFlow(source.OutDsrFlow());
  SetControlDtr(source.ControlDtr());
  SetControlRts(source.ControlRts());
  SetXonXoffOut(source.XonXoffOut());
  SetXonXoffIn(source.XonXoffIn());
  SetDsrSensitivity(source.DsrSensitivity());
  SetTxContinueOnXoff(source.TxContinueOnXoff());
  EndUpdate();
}

void TSerialBuffers::Assign(const TSerialBuffers& source) {
  BeginUpdate();
  SetReadSize(source.ReadSize());
  SetWriteSize(source.WriteSize());
  SetReadTimeout(source.ReadTimeout());
  SetWriteTimeout(source.WriteTimeout());
  SetXonLimit(source.XonLimit());
  SetXoffLimit(source.XoffLimit());
  EndUpdate();
}

void TSerialEventChars::SetChar(int index, uint8_t value) {
  switch (index) {
    case ixXonChar: FXonChar = value; break;
    case ixXoffChar: FXoffChar = value; break;
    case ixErrorChar: FErrorChar = value; break;
    case ixEventChar: FEventChar = value; break;
    case ixEofChar: FEofChar = value; break;
    default: return;
  }
  Changed();
}

void TSerialEventChars::Assign(const TSerialEventChars& source) {
  BeginUpdate();
  SetXonChar(source.XonChar());
  SetXoffChar(source.XoffChar());
  SetErrorChar(source.ErrorChar());
  SetEventChar(source.EventChar());
  SetEofChar(source.EofChar());
  EndUpdate();
}

}  // namespace kestova
