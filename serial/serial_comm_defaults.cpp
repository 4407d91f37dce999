// What the system says of its serial ports: a device's configuration read back into the
// properties, and the list of ports.
#include "serial/serial_custom_comm.h"
#include "serial/serial_port_list.h"

namespace kestova {
namespace {

// The value whose entry in `table` is `code`, or `fallback`.
template <typename E, typename Table, typename Code>
E ValueOf(const Table& table, Code code, E fallback) {
  for (std::size_t i = 0; i < table.size(); ++i)
    if (table[i] == code) return static_cast<E>(i);
  return fallback;
}

}  // namespace

void TSerialCustomComm::ResetPortParameters() {
  TSerialTermios t;
  uint32_t lines = 0;
  bool hasLines = false;
  int rc = 0;
  {
    std::lock_guard lock(FGlobalSection);
    std::unique_ptr<TSerialDevice> opened;
    TSerialDevice* device = FDevice.get();
    if (!device) {
      const std::string path = DevicePath();
      rc = FOpener ? FOpener(path, opened) : OpenPosixSerialDevice(path, opened);
      if (rc == 0 && !opened) rc = EBADF;
      device = opened.get();
    }
    if (rc == 0) rc = device->GetAttr(t);
    if (rc == 0) hasLines = device->GetModemLines(lines) == 0;
    if (opened) opened->Close();
  }
  if (rc != 0) {
    Error(sErrDefaultParams, rc);
    return;
  }
  const TSerialDcb dcb = DcbFromTermios(t, lines, hasLines);

  // Stored without applying them; the setters below apply the whole record on an open port.
  FBaudrate = brUser;
  FUserBaudrate = static_cast<int32_t>(dcb.BaudRate);
  for (std::size_t b = br110; b < DCB_BaudRates.size(); ++b) {
    if (DCB_BaudRates[b] != dcb.BaudRate) continue;
    FBaudrate = static_cast<TSerialBaudrate>(b);
    FUserBaudrate = 0;
  }
  FParity = ValueOf(DCB_Parity, dcb.Parity, paNone);
  FDatabits = ValueOf(DCB_DataBits, dcb.ByteSize, db8);
  FStopbits = ValueOf(DCB_StopBits, dcb.StopBits, sb1);
  FOptions = {};
  for (std::size_t i = 0; i < DCB_Options.size(); ++i)
    if (dcb.Flags & DCB_Options[i]) FOptions.Include(static_cast<TSerialCommOption>(i));

  TSerialFlowControl& flow = *FFlowControl;
  flow.SetControlDtr(ValueOf(DCB_CONTROLDTR, dcb.Flags & DCB_fDtrControlMask, dtrDisabled));
  flow.SetControlRts(ValueOf(DCB_CONTROLRTS, dcb.Flags & DCB_fRtsControlMask, rtsDisabled));
  flow.SetOutCtsFlow((dcb.Flags & DCB_fOutxCtsFlow) != 0);
  flow.SetOutDsrFlow((dcb.Flags & DCB_fOutxDsrFlow) != 0);
  flow.SetXonXoffOut((dcb.Flags & DCB_fOutX) != 0);
  flow.SetXonXoffIn((dcb.Flags & DCB_fInX) != 0);
  flow.SetDsrSensitivity((dcb.Flags & DCB_fDsrSensitivity) != 0);
  flow.SetTxContinueOnXoff((dcb.Flags & DCB_fTXContinueOnXoff) != 0);
  TSerialEventChars& chars = *FEventChars;
  chars.SetXonChar(dcb.XonChar);
  chars.SetXoffChar(dcb.XoffChar);
  chars.SetErrorChar(dcb.ErrorChar);
  chars.SetEventChar(dcb.EvtChar);
  chars.SetEofChar(dcb.EofChar);
}

void TSerialCustomComm::GetComPortNames(TStringList& Value) const { SerialPortNames(ListSerialPorts(), Value); }

}  // namespace kestova
