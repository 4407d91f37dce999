// The properties-to-line-parameters translation, as pure functions: record, then termios.
#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "serial/serial_dcb.h"
#include "serial/serial_termios.h"

namespace kestova {
namespace {

// The display service's design-time values: 9600 bit/s, every flow switch off, DTR and RTS off.
TSerialLineSettings DisplayService() {
  TSerialLineSettings s;
  s.Baudrate = br9600;
  return s;
}

TEST(SerialDcb, DisplayServiceValuesGiveTheDocumentedRecord) {
  const TSerialDcb dcb = BuildDcb(DisplayService());
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.Flags, 0x1u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.XonChar, 17);
  EXPECT_EQ(dcb.XoffChar, 19);
  EXPECT_EQ(dcb.XonLim, 1024);
  EXPECT_EQ(dcb.XoffLim, 1024);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
}

TEST(SerialDcb, EverySpeedOfTheTableAndTheUserRate) {
  const uint32_t expected[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                               14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int b = br110; b <= br256000; ++b) {
    TSerialLineSettings s;
    s.Baudrate = static_cast<TSerialBaudrate>(b);
    s.UserBaudrate = 777;  // ignored for a named speed
    EXPECT_EQ(BuildDcb(s).BaudRate, expected[b]) << b;
  }
  TSerialLineSettings s;
  s.Baudrate = brUser;
  s.UserBaudrate = 250000;
  EXPECT_EQ(BuildDcb(s).BaudRate, 250000u);
}

TEST(SerialDcb, EachSwitchSetsItsOwnFlag) {
  struct Case {
    const char* name;
    void (*set)(TSerialLineSettings&);
    uint32_t flags;
  };
  const Case cases[] = {
      {"parity check", [](TSerialLineSettings& s) { s.Options.Include(coParityCheck); }, 0x3},
      {"error char", [](TSerialLineSettings& s) { s.Options.Include(coErrorChar); }, 0x401},
      {"null strip", [](TSerialLineSettings& s) { s.Options.Include(coNullStrip); }, 0x801},
      {"cts flow", [](TSerialLineSettings& s) { s.OutCtsFlow = true; }, 0x5},
      {"dsr flow", [](TSerialLineSettings& s) { s.OutDsrFlow = true; }, 0x9},
      {"dtr enabled", [](TSerialLineSettings& s) { s.ControlDtr = dtrEnabled; }, 0x11},
      {"dtr handshake", [](TSerialLineSettings& s) { s.ControlDtr = dtrHandshake; }, 0x21},
      {"dsr sensitivity", [](TSerialLineSettings& s) { s.DsrSensitivity = true; }, 0x41},
      {"tx continue", [](TSerialLineSettings& s) { s.TxContinueOnXoff = true; }, 0x81},
      {"xon/xoff out", [](TSerialLineSettings& s) { s.XonXoffOut = true; }, 0x101},
      {"xon/xoff in", [](TSerialLineSettings& s) { s.XonXoffIn = true; }, 0x201},
      {"rts enabled", [](TSerialLineSettings& s) { s.ControlRts = rtsEnabled; }, 0x1001},
      {"rts handshake", [](TSerialLineSettings& s) { s.ControlRts = rtsHandshake; }, 0x2001},
      {"rts toggle", [](TSerialLineSettings& s) { s.ControlRts = rtsToggle; }, 0x3001},
  };
  for (const Case& c : cases) {
    TSerialLineSettings s = DisplayService();
    c.set(s);
    EXPECT_EQ(BuildDcb(s).Flags, c.flags) << c.name;
  }
}

TEST(SerialDcb, CharactersAndLimitsReachTheirOwnFields) {
  TSerialLineSettings s;
  s.XonChar = 1;
  s.XoffChar = 2;
  s.ErrorChar = 3;
  s.EventChar = 4;
  s.EofChar = 5;
  s.XonLimit = 0x12345;  // only the low 16 bits fit
  s.XoffLimit = 7;
  const TSerialDcb dcb = BuildDcb(s);
  EXPECT_EQ(dcb.XonChar, 1);
  EXPECT_EQ(dcb.XoffChar, 2);
  EXPECT_EQ(dcb.ErrorChar, 3);
  EXPECT_EQ(dcb.EvtChar, 4);
  EXPECT_EQ(dcb.EofChar, 5);
  EXPECT_EQ(dcb.XonLim, 0x2345);
  EXPECT_EQ(dcb.XoffLim, 7);
}

TEST(SerialDcb, EventMaskLeavesTxEmptyToTheWriteThread) {
  const TSerialCommEvents defaults{ceError, ceRxChar, ceTxEmpty};
  EXPECT_EQ(EventMaskFor(defaults, false), 0x81u);
  EXPECT_EQ(EventMaskFor(defaults, true), 0x85u);
  TSerialCommEvents all;
  for (int e = ceBreak; e <= ceEvent2; ++e) all.Include(static_cast<TSerialCommEvent>(e));
  EXPECT_EQ(EventMaskFor(all, true), 0x1FFFu);
}

// ---- termios

TSerialTermios Translate(const TSerialLineSettings& s, int* rc = nullptr) {
  TSerialTermios t;
  const int result = ApplyDcbToTermios(BuildDcb(s), t);
  if (rc) *rc = result;
  return t;
}

TEST(SerialTermios, DisplayServiceValuesGive9600Raw8N1WithoutFlowControl) {
  TSerialTermios t;
  t.c_cflag = CRTSCTS | PARENB | CSTOPB | CS7 | B1200;  // what a previous user left
  t.c_iflag = IXON | IXOFF | INPCK;
  ASSERT_EQ(ApplyDcbToTermios(BuildDcb(DisplayService()), t), 0);
  ApplyRawDiscipline(t);
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<uint32_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<uint32_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | CMSPAR), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<uint32_t>(CREAD | CLOCAL));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);
}

TEST(SerialTermios, EverySpeedUsesItsCodeOrAnArbitraryRate) {
  struct Case {
    TSerialBaudrate baud;
    uint32_t code;  // BOTHER: the rate goes in c_ospeed
    uint32_t rate;
  };
  const Case cases[] = {
      {br110, B110, 110},          {br300, B300, 300},         {br600, B600, 600},         {br1200, B1200, 1200},
      {br2400, B2400, 2400},       {br4800, B4800, 4800},      {br9600, B9600, 9600},      {br14400, BOTHER, 14400},
      {br19200, B19200, 19200},    {br38400, B38400, 38400},   {br56000, BOTHER, 56000},   {br57600, B57600, 57600},
      {br115200, B115200, 115200}, {br128000, BOTHER, 128000}, {br256000, BOTHER, 256000},
  };
  for (const Case& c : cases) {
    TSerialLineSettings s;
    s.Baudrate = c.baud;
    const TSerialTermios t = Translate(s);
    EXPECT_EQ(t.c_cflag & CBAUD, c.code) << c.rate;
    EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input speed follows the output speed";
    EXPECT_EQ(t.c_ospeed, c.rate);
  }
  TSerialLineSettings s;
  s.Baudrate = brUser;
  s.UserBaudrate = 250000;
  const TSerialTermios t = Translate(s);
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<uint32_t>(BOTHER));
  EXPECT_EQ(t.c_ospeed, 250000u);
  EXPECT_EQ(t.c_ispeed, 250000u);
}

TEST(SerialTermios, ParityDataAndStopBits) {
  struct Case {
    TSerialParity parity;
    TSerialDatabits bits;
    TSerialStopbits stop;
    uint32_t cflag;  // under PARENB | PARODD | CMSPAR | CSIZE | CSTOPB
  };
  const Case cases[] = {
      {paNone, db8, sb1, CS8},
      {paOdd, db7, sb1, PARENB | PARODD | CS7},
      {paEven, db7, sb2, PARENB | CS7 | CSTOPB},
      {paMark, db8, sb1, PARENB | PARODD | CMSPAR | CS8},
      {paSpace, db6, sb1, PARENB | CMSPAR | CS6},
      {paNone, db5, sb15, CS5 | CSTOPB},  // the UART sends 1.5 stop bits for two with 5 data bits
      {paNone, db5, sb1, CS5},
  };
  for (const Case& c : cases) {
    TSerialLineSettings s;
    s.Parity = c.parity;
    s.Databits = c.bits;
    s.Stopbits = c.stop;
    int rc = -1;
    const TSerialTermios t = Translate(s, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSIZE | CSTOPB), c.cflag)
        << int(c.parity) << "/" << int(c.bits) << "/" << int(c.stop);
  }
}

TEST(SerialTermios, FlowControlSwitches) {
  struct Case {
    const char* name;
    void (*set)(TSerialLineSettings&);
    uint32_t cflag;
    uint32_t iflag;
  };
  const Case cases[] = {
      {"cts flow", [](TSerialLineSettings& s) { s.OutCtsFlow = true; }, CRTSCTS, 0},
      {"rts handshake", [](TSerialLineSettings& s) { s.ControlRts = rtsHandshake; }, CRTSCTS, 0},
      {"xon/xoff out", [](TSerialLineSettings& s) { s.XonXoffOut = true; }, 0, IXON},
      {"xon/xoff in", [](TSerialLineSettings& s) { s.XonXoffIn = true; }, 0, IXOFF},
      {"parity check", [](TSerialLineSettings& s) { s.Options.Include(coParityCheck); }, 0, INPCK},
      {"ignored refinements",
       [](TSerialLineSettings& s) {
         s.DsrSensitivity = s.TxContinueOnXoff = true;
         s.Options.Include(coErrorChar).Include(coNullStrip);
       },
       0, 0},
  };
  for (const Case& c : cases) {
    TSerialLineSettings s;
    c.set(s);
    int rc = -1;
    const TSerialTermios t = Translate(s, &rc);
    ASSERT_EQ(rc, 0) << c.name;
    EXPECT_EQ(t.c_cflag & CRTSCTS, c.cflag) << c.name;
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | IXANY), c.iflag) << c.name;
  }
}

TEST(SerialTermios, RefusesWhatTheLineCannotDoAndLeavesTheRecordAlone) {
  struct Case {
    const char* name;
    void (*set)(TSerialLineSettings&);
  };
  const Case cases[] = {
      {"4 data bits", [](TSerialLineSettings& s) { s.Databits = db4; }},
      {"1.5 stop bits with 8 data bits", [](TSerialLineSettings& s) { s.Stopbits = sb15; }},
      {"2 stop bits with 5 data bits",
       [](TSerialLineSettings& s) {
         s.Databits = db5;
         s.Stopbits = sb2;
       }},
      {"user rate 0 (would hang up)",
       [](TSerialLineSettings& s) {
         s.Baudrate = brUser;
         s.UserBaudrate = 0;
       }},
      {"negative user rate",
       [](TSerialLineSettings& s) {
         s.Baudrate = brUser;
         s.UserBaudrate = -5;
       }},
      {"dsr output flow", [](TSerialLineSettings& s) { s.OutDsrFlow = true; }},
      {"dtr handshake", [](TSerialLineSettings& s) { s.ControlDtr = dtrHandshake; }},
      {"rts toggle", [](TSerialLineSettings& s) { s.ControlRts = rtsToggle; }},
      {"xon equals xoff",
       [](TSerialLineSettings& s) {
         s.XonXoffOut = true;
         s.XonChar = s.XoffChar = 19;
       }},
  };
  for (const Case& c : cases) {
    TSerialLineSettings s;
    c.set(s);
    TSerialTermios t;
    t.c_cflag = 0x1234;
    EXPECT_EQ(ApplyDcbToTermios(BuildDcb(s), t), EINVAL) << c.name;
    EXPECT_EQ(t.c_cflag, 0x1234u) << c.name;
  }
}

TEST(SerialTermios, ModemLinesFollowDtrAndRtsControl) {
  struct Case {
    TSerialControlDtr dtr;
    TSerialControlRts rts;
    uint32_t set, clear;
  };
  const Case cases[] = {
      {dtrDisabled, rtsDisabled, 0, TIOCM_DTR | TIOCM_RTS},
      {dtrEnabled, rtsEnabled, TIOCM_DTR | TIOCM_RTS, 0},
      {dtrEnabled, rtsHandshake, TIOCM_DTR, 0},  // the kernel drives RTS under CRTSCTS
  };
  for (const Case& c : cases) {
    TSerialLineSettings s;
    s.ControlDtr = c.dtr;
    s.ControlRts = c.rts;
    const TSerialModemControl lines = ModemControlFor(BuildDcb(s));
    EXPECT_EQ(lines.Set, c.set);
    EXPECT_EQ(lines.Clear, c.clear);
  }
}

}  // namespace
}  // namespace kestova
