#include "serial/serial_properties.h"

namespace kestova {
namespace {

struct TBaudBit {
  uint32_t rate;
  uint32_t bit;
};
constexpr TBaudBit kBaudBits[] = {
    {75, 0x1},       {110, 0x2},       {134, 0x4},        {150, 0x8},        {300, 0x10},
    {600, 0x20},     {1200, 0x40},     {1800, 0x80},      {2400, 0x100},     {4800, 0x200},
    {7200, 0x400},   {9600, 0x800},    {14400, 0x1000},   {19200, 0x2000},   {38400, 0x4000},
    {56000, 0x8000}, {57600, 0x40000}, {115200, 0x20000}, {128000, 0x10000},
};

}  // namespace

TSerialCommProp BuildCommProp(const TSerialInfo* info, bool hasModemLines) {
  TSerialCommProp p;
  p.wPacketLength = sizeof(TSerialCommProp);
  p.wPacketVersion = 2;
  p.dwServiceMask = SP_SERIALCOMM;
  p.dwMaxBaud = BAUD_USER;
  p.dwProvSubType = info ? PST_RS232 : PST_UNSPECIFIED;
  p.dwProvCapabilities = PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR;
  p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK;
  if (hasModemLines) {
    p.dwProvCapabilities |= PCF_RTSCTS | PCF_RLSD;
    p.dwSettableParams |= SP_RLSD;
  }
  p.dwSettableBaud = BAUD_USER;
  for (const TBaudBit& b : kBaudBits)
    if (!info || info->BaudBase <= 0 || b.rate <= static_cast<uint32_t>(info->BaudBase)) p.dwSettableBaud |= b.bit;
  p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  p.wSettableStopParity =
      STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
  if (info) {
    p.dwProvSpec1 = static_cast<uint32_t>(info->Type);
    p.dwProvSpec2 = static_cast<uint32_t>(info->BaudBase);
  }
  return p;
}

}  // namespace kestova
