#include "serial/serial_dcb.h"

namespace kestova {

uint32_t BaudrateValue(TSerialBaudrate baudrate, int32_t userBaudrate) {
  if (baudrate == brUser) return static_cast<uint32_t>(userBaudrate);
  return DCB_BaudRates.at(baudrate);
}

TSerialDcb BuildDcb(const TSerialLineSettings& s) {
  TSerialDcb dcb;
  dcb.BaudRate = BaudrateValue(s.Baudrate, s.UserBaudrate);
  uint32_t flags = DCB_fBinary;
  for (unsigned i = 0; i < DCB_Options.size(); ++i)
    if (s.Options.Contains(static_cast<TSerialCommOption>(i))) flags |= DCB_Options[i];
  flags |= DCB_OUTCTSFLOW[s.OutCtsFlow];
  flags |= DCB_OUTDSRFLOW[s.OutDsrFlow];
  flags |= DCB_CONTROLDTR.at(s.ControlDtr);
  if (s.DsrSensitivity) flags |= DCB_fDsrSensitivity;
  if (s.TxContinueOnXoff) flags |= DCB_fTXContinueOnXoff;
  flags |= DCB_XONXOFFOUT[s.XonXoffOut];
  flags |= DCB_XONXOFFIN[s.XonXoffIn];
  flags |= DCB_CONTROLRTS.at(s.ControlRts);
  dcb.Flags = flags;
  dcb.XonLim = static_cast<uint16_t>(s.XonLimit & 0xFFFF);
  dcb.XoffLim = static_cast<uint16_t>(s.XoffLimit & 0xFFFF);
  dcb.ByteSize = DCB_DataBits.at(s.Databits);
  dcb.Parity = DCB_Parity.at(s.Parity);
  dcb.StopBits = DCB_StopBits.at(s.Stopbits);
  dcb.XonChar = s.XonChar;
  dcb.XoffChar = s.XoffChar;
  dcb.ErrorChar = s.ErrorChar;
  dcb.EofChar = s.EofChar;
  dcb.EvtChar = s.EventChar;
  return dcb;
}

uint32_t EventMaskFor(TSerialCommEvents events, bool directWrite) {
  uint32_t mask = 0;
  for (unsigned i = 0; i < EventList.size(); ++i)
    if (events.Contains(static_cast<TSerialCommEvent>(i))) mask |= EventList[i];
  if (!directWrite) mask &= ~EV_TXEMPTY;
  return mask;
}

}  // namespace kestova
