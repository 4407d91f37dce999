#include "serial/serial_termios.h"

// The kernel's termios2 definitions; <termios.h> must not be included in this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstddef>

namespace kestova {

static_assert(sizeof(TSerialTermios) == sizeof(termios2));
static_assert(offsetof(TSerialTermios, c_cc) == offsetof(termios2, c_cc));
static_assert(offsetof(TSerialTermios, c_ospeed) == offsetof(termios2, c_ospeed));
static_assert(sizeof(TSerialTermios{}.c_cc) == NCCS);

namespace {

struct TSpeedCode {
  uint32_t rate;
  uint32_t code;
};
// Rates with a classic speed code are set with it, so every termios reader sees them; the
// others (14400, 56000, 128000, 256000 and user rates) go through BOTHER.
constexpr TSpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000}};

uint32_t SpeedCode(uint32_t rate) {
  for (const auto& s : kSpeedCodes)
    if (s.rate == rate) return s.code;
  return BOTHER;
}

uint32_t SizeFlag(uint8_t bits) {
  switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return 0;
  }
}

}  // namespace

int ApplyDcbToTermios(const TSerialDcb& dcb, TSerialTermios& t) {
  const uint32_t size = SizeFlag(dcb.ByteSize);
  if (size == 0 && dcb.ByteSize != 5) return EINVAL;
  if (dcb.BaudRate == 0 || dcb.BaudRate > 0x7FFFFFFF) return EINVAL;
  if (dcb.Parity > 4 || dcb.StopBits > 2) return EINVAL;
  if (dcb.StopBits == 1 && dcb.ByteSize != 5) return EINVAL;
  if (dcb.StopBits == 2 && dcb.ByteSize == 5) return EINVAL;
  if (dcb.Flags & DCB_fOutxDsrFlow) return EINVAL;
  if ((dcb.Flags & DCB_fDtrControlMask) == 0x20) return EINVAL;
  if ((dcb.Flags & DCB_fRtsControlMask) == 0x3000) return EINVAL;
  const bool outX = dcb.Flags & DCB_fOutX;
  const bool inX = dcb.Flags & DCB_fInX;
  if ((outX || inX) && dcb.XonChar == dcb.XoffChar) return EINVAL;

  uint32_t cflag = t.c_cflag & ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  const uint32_t code = SpeedCode(dcb.BaudRate);
  cflag |= code;
  t.c_ospeed = t.c_ispeed = dcb.BaudRate;  // read by the kernel only with BOTHER
  cflag |= size;
  switch (dcb.Parity) {
    case 1: cflag |= PARENB | PARODD; break;           // odd
    case 2: cflag |= PARENB; break;                    // even
    case 3: cflag |= PARENB | CMSPAR | PARODD; break;  // mark: a stick parity bit of 1
    case 4: cflag |= PARENB | CMSPAR; break;           // space: a stick parity bit of 0
    default: break;
  }
  if (dcb.StopBits != 0) cflag |= CSTOPB;
  if ((dcb.Flags & DCB_fOutxCtsFlow) || (dcb.Flags & DCB_fRtsControlMask) == 0x2000) cflag |= CRTSCTS;

  uint32_t iflag = t.c_iflag & ~(INPCK | IGNPAR | IXON | IXOFF | IXANY);
  if (dcb.Flags & DCB_fParity) iflag |= INPCK;
  if (outX) iflag |= IXON;
  if (inX) iflag |= IXOFF;

  t.c_cflag = cflag;
  t.c_iflag = iflag;
  t.c_cc[VSTART] = dcb.XonChar;
  t.c_cc[VSTOP] = dcb.XoffChar;
  return 0;
}

TSerialDcb DcbFromTermios(const TSerialTermios& t, uint32_t lines, bool hasLines) {
  TSerialDcb dcb;
  const uint32_t code = t.c_cflag & CBAUD;
  dcb.BaudRate = 0;  // B0, or a code of no rate
  if (code == BOTHER) dcb.BaudRate = t.c_ospeed;
  for (const auto& s : kSpeedCodes)
    if (s.code == code) dcb.BaudRate = s.rate;
  uint32_t flags = DCB_fBinary;
  if (t.c_iflag & INPCK) flags |= DCB_fParity;
  const bool rtsCts = UsesRtsCtsFlow(t);
  if (rtsCts)
    flags |= DCB_fOutxCtsFlow | DCB_CONTROLRTS[rtsHandshake];
  else if (hasLines && (lines & TIOCM_RTS))
    flags |= DCB_CONTROLRTS[rtsEnabled];
  if (hasLines && (lines & TIOCM_DTR)) flags |= DCB_CONTROLDTR[dtrEnabled];
  if (t.c_iflag & IXON) flags |= DCB_fOutX;
  if (t.c_iflag & IXOFF) flags |= DCB_fInX;
  dcb.Flags = flags;
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if (t.c_cflag & PARENB) {
    const bool odd = t.c_cflag & PARODD;
    dcb.Parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
  }
  if (t.c_cflag & CSTOPB) dcb.StopBits = dcb.ByteSize == 5 ? 1 : 2;
  dcb.XonChar = t.c_cc[VSTART];
  dcb.XoffChar = t.c_cc[VSTOP];
  dcb.EofChar = t.c_cc[VEOF];
  return dcb;
}

bool UsesRtsCtsFlow(const TSerialTermios& t) { return (t.c_cflag & CRTSCTS) != 0; }

TSerialModemControl ModemControlFor(const TSerialDcb& dcb) {
  TSerialModemControl lines;
  switch (dcb.Flags & DCB_fDtrControlMask) {
    case 0x00: lines.Clear |= TIOCM_DTR; break;
    case 0x10: lines.Set |= TIOCM_DTR; break;
    default: break;
  }
  switch (dcb.Flags & DCB_fRtsControlMask) {
    case 0x0000: lines.Clear |= TIOCM_RTS; break;
    case 0x1000: lines.Set |= TIOCM_RTS; break;
    default: break;
  }
  return lines;
}

void ApplyRawDiscipline(TSerialTermios& t) {
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | ICANON | ISIG | IEXTEN | XCASE);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

int64_t CharacterTimeNs(const TSerialTermios& t) {
  if (t.c_ospeed == 0) return 0;
  int64_t bits = 1;  // start bit
  switch (t.c_cflag & CSIZE) {
    case CS5: bits += 5; break;
    case CS6: bits += 6; break;
    case CS7: bits += 7; break;
    default: bits += 8; break;
  }
  if (t.c_cflag & PARENB) bits += 1;
  bits += (t.c_cflag & CSTOPB) ? 2 : 1;
  return bits * 1'000'000'000 / static_cast<int64_t>(t.c_ospeed);
}

}  // namespace kestova
