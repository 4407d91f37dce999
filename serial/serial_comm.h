#pragma once
// The serial port component an application places: TSerialCustomComm with its published
// properties and events made public. See serial_custom_comm.h for threads and errors.
#include "serial/serial_custom_comm.h"

namespace kestova {

class TSerialComm : public TSerialCustomComm {
 public:
  using TSerialCustomComm::TSerialCustomComm;

  using TSerialCustomComm::AutoOpen;
  using TSerialCustomComm::Baudrate;
  using TSerialCustomComm::Buffers;
  using TSerialCustomComm::Databits;
  using TSerialCustomComm::DeviceName;
  using TSerialCustomComm::DirectWrite;
  using TSerialCustomComm::Display;
  using TSerialCustomComm::EventChars;
  using TSerialCustomComm::EventPriority;
  using TSerialCustomComm::FlowControl;
  using TSerialCustomComm::MonitorEvents;
  using TSerialCustomComm::Options;
  using TSerialCustomComm::Parity;
  using TSerialCustomComm::PortNum;
  using TSerialCustomComm::SetAutoOpen;
  using TSerialCustomComm::SetBaudrate;
  using TSerialCustomComm::SetBuffers;
  using TSerialCustomComm::SetDatabits;
  using TSerialCustomComm::SetDeviceName;
  using TSerialCustomComm::SetDirectWrite;
  using TSerialCustomComm::SetDisplay;
  using TSerialCustomComm::SetEventChars;
  using TSerialCustomComm::SetEventPriority;
  using TSerialCustomComm::SetFlowControl;
  using TSerialCustomComm::SetMonitorEvents;
  using TSerialCustomComm::SetOptions;
  using TSerialCustomComm::SetParity;
  using TSerialCustomComm::SetPortNum;
  using TSerialCustomComm::SetSettingsStore;
  using TSerialCustomComm::SetStopbits;
  using TSerialCustomComm::SettingsStore;
  using TSerialCustomComm::SetUpdateDCB;
  using TSerialCustomComm::SetUserBaudrate;
  using TSerialCustomComm::SetVersion;
  using TSerialCustomComm::SetWritePriority;
  using TSerialCustomComm::Stopbits;
  using TSerialCustomComm::UpdateDCB;
  using TSerialCustomComm::UserBaudrate;
  using TSerialCustomComm::Version;
  using TSerialCustomComm::WritePriority;

  using TSerialCustomComm::OnBreak;
  using TSerialCustomComm::OnClose;
  using TSerialCustomComm::OnCts;
  using TSerialCustomComm::OnDsr;
  using TSerialCustomComm::OnError;
  using TSerialCustomComm::OnEvent1;
  using TSerialCustomComm::OnEvent2;
  using TSerialCustomComm::OnOpen;
  using TSerialCustomComm::OnPErr;
  using TSerialCustomComm::OnRing;
  using TSerialCustomComm::OnRlsd;
  using TSerialCustomComm::OnRx80Full;
  using TSerialCustomComm::OnRxBuf;
  using TSerialCustomComm::OnRxChar;
  using TSerialCustomComm::OnRxFlag;
  using TSerialCustomComm::OnTxEmpty;
};

}  // namespace kestova
