#pragma once
// The serial port component an application places: TSerialCustomComm with its published
// properties and events made public. See serial_custom_comm.h for threads and errors.
#include "serial/serial_custom_comm.h"

namespace kestova {

class TSerialComm : public TSerialCustomComm {
 public:
  using TSerialCustomComm::TSerialCustomComm;

  using TSerialCustomComm::AutoOpen;
  using TSerialCustomComm::SetAutoOpen;
  using TSerialCustomComm::Baudrate;
  using TSerialCustomComm::SetBaudrate;
  using TSerialCustomComm::Parity;
  using TSerialCustomComm::SetParity;
  using TSerialCustomComm::Databits;
  using TSerialCustomComm::SetDatabits;
  using TSerialCustomComm::Stopbits;
  using TSerialCustomComm::SetStopbits;
  using TSerialCustomComm::EventChars;
  using TSerialCustomComm::SetEventChars;
  using TSerialCustomComm::FlowControl;
  using TSerialCustomComm::SetFlowControl;
  using TSerialCustomComm::Options;
  using TSerialCustomComm::SetOptions;
  using TSerialCustomComm::PortNum;
  using TSerialCustomComm::SetPortNum;
  using TSerialCustomComm::DeviceName;
  using TSerialCustomComm::SetDeviceName;
  using TSerialCustomComm::MonitorEvents;
  using TSerialCustomComm::SetMonitorEvents;
  using TSerialCustomComm::Buffers;
  using TSerialCustomComm::SetBuffers;
  using TSerialCustomComm::EventPriority;
  using TSerialCustomComm::SetEventPriority;
  using TSerialCustomComm::WritePriority;
  using TSerialCustomComm::SetWritePriority;
  using TSerialCustomComm::DirectWrite;
  using TSerialCustomComm::SetDirectWrite;
  using TSerialCustomComm::UpdateDCB;
  using TSerialCustomComm::SetUpdateDCB;
  using TSerialCustomComm::UserBaudrate;
  using TSerialCustomComm::SetUserBaudrate;
  using TSerialCustomComm::SettingsStore;
  using TSerialCustomComm::SetSettingsStore;
  using TSerialCustomComm::Display;
  using TSerialCustomComm::SetDisplay;
  using TSerialCustomComm::Version;
  using TSerialCustomComm::SetVersion;

  using TSerialCustomComm::OnOpen;
  using TSerialCustomComm::OnClose;
  using TSerialCustomComm::OnCts;
  using TSerialCustomComm::OnDsr;
  using TSerialCustomComm::OnRlsd;
  using TSerialCustomComm::OnRing;
  using TSerialCustomComm::OnBreak;
  using TSerialCustomComm::OnError;
  using TSerialCustomComm::OnRxChar;
  using TSerialCustomComm::OnRxFlag;
  using TSerialCustomComm::OnRxBuf;
  using TSerialCustomComm::OnTxEmpty;
  using TSerialCustomComm::OnPErr;
  using TSerialCustomComm::OnRx80Full;
  using TSerialCustomComm::OnEvent1;
  using TSerialCustomComm::OnEvent2;
};

}  // namespace kestova
