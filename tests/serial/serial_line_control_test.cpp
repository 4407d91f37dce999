// Line control, modem and hold states, the capability record and the configuration read back,
// on real pseudo terminals and, for what a pty has not got, a scripted device.
#include <asm/termbits.h>
#include <poll.h>

#include "port_fixture.h"
#include "scripted_device.h"
#include "serial/serial_dispatcher.h"
#include "serial/serial_line_control.h"
#include "termios_readback.h"
#include "tests/support/thrown_message.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

constexpr char kNotATty[] = "(25), Inappropriate ioctl for device";

class SerialLineControl : public SerialPortFixture {
 protected:
  std::unique_ptr<TSerialComm> NewScriptedPort() {
    auto port = NewPort();
    port->SetDeviceOpener(ScriptedOpener(FScript));
    return port;
  }

  // The kernel's own view of our output: a stopped pty takes no bytes.
  bool SlaveTakesOutput() {
    pollfd p{FPty.Slave(), POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
  }

  std::shared_ptr<TLineScript> FScript = std::make_shared<TLineScript>();
};

// What a call raised: the port's error message, or "no error".
std::string MessageOf(const std::function<void()>& call) { return ThrownMessage<ESerialCommError>(call); }

TEST_F(SerialLineControl, HandshakeLinesRefuseDirectUpdates) {
  struct Case {
    TSerialControlDtr dtr;
    TSerialControlRts rts;
    bool setDtr;
    const char* message;
  };
  const Case cases[] = {
      {dtrHandshake, rtsDisabled, true, "DTR line updates not allowed when flowcontrol is set to Handshake."},
      {dtrDisabled, rtsHandshake, false,
       "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle."},
      {dtrDisabled, rtsToggle, false, "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle."},
      {dtrDisabled, rtsDisabled, true, "no error"},  // a closed port does nothing
      {dtrEnabled, rtsEnabled, false, "no error"},
  };
  for (const Case& c : cases) {
    TSerialComm port;
    port.FlowControl().SetControlDtr(c.dtr);
    port.FlowControl().SetControlRts(c.rts);
    EXPECT_EQ(MessageOf([&] { c.setDtr ? port.SetDTR(true) : port.SetRTS(true); }), c.message);
  }
}

TEST_F(SerialLineControl, PtyRefusesModemCallsWithNotATtyAndTakesTheOthers) {
  auto port = NewPort();
  port->Open();
  EXPECT_EQ(MessageOf([&] { port->SetDTR(true); }), std::string("Error calling comm function ") + kNotATty);
  EXPECT_EQ(MessageOf([&] { port->SetRTS(false); }), std::string("Error calling comm function ") + kNotATty);
  EXPECT_EQ(MessageOf([&] { port->CTS(); }), std::string("Error reading modem state ") + kNotATty);
  EXPECT_EQ(MessageOf([&] { port->RLSD(); }), std::string("Error reading modem state ") + kNotATty);
  EXPECT_EQ(MessageOf([&] {
              port->SetBreak(true);
              port->SetBreak(false);
              port->ResetDev();
            }),
            "no error");
  EXPECT_FALSE(port->CTSHold());
  ASSERT_TRUE(port->WriteText("alive"));
  EXPECT_EQ(FPty.ReadMaster(5, 5s), "alive");
}

TEST_F(SerialLineControl, XoffStopsOurOutputUntilXonOrClose) {
  auto port = NewPort();
  port->Open();
  port->SetXon(false);
  EXPECT_TRUE(port->XOffHold());
  EXPECT_FALSE(SlaveTakesOutput());
  ASSERT_TRUE(port->WriteText("held"));
  port->SetXon(true);
  EXPECT_FALSE(port->XOffHold());
  EXPECT_EQ(FPty.ReadMaster(4, 5s), "held");

  port->SetXon(false);
  port->Close();  // the next opener must not find the line stopped
  EXPECT_TRUE(SlaveTakesOutput());
  EXPECT_FALSE(port->XOffHold());
}

TEST_F(SerialLineControl, ModemLinesAndHoldsOfAScriptedDevice) {
  auto port = NewScriptedPort();
  port->Open();
  port->SetDTR(true);
  port->SetRTS(true);
  EXPECT_EQ(FScript->Modem & (kModemDtr | kModemRts), kModemDtr | kModemRts);
  port->SetDTR(false);
  EXPECT_EQ(FScript->Modem & (kModemDtr | kModemRts), kModemRts);
  struct TUser : ISerialCommUser {
    void LineChanged(uint32_t) override {}
    void DataChanged(const uint8_t*, int32_t) override {}
  } user;
  TSerialDispatcher client(user);
  port->InsertClient(&client);
  client.SetDTRState(true);
  EXPECT_EQ(FScript->Modem & kModemDtr, kModemDtr);

  struct Case {
    uint32_t lines;
    bool cts, dsr, ring, rlsd;
  };
  const Case cases[] = {
      {0, false, false, false, false},        {kModemCts, true, false, false, false},
      {kModemDsr, false, true, false, false}, {kModemRing, false, false, true, false},
      {kModemDcd, false, false, false, true}, {kModemCts | kModemDsr | kModemRing | kModemDcd, true, true, true, true},
  };
  for (const Case& c : cases) {
    {
      std::lock_guard lock(FScript->Lock);
      FScript->Modem = c.lines;
    }
    EXPECT_EQ(port->CTS(), c.cts) << c.lines;
    EXPECT_EQ(port->DSR(), c.dsr) << c.lines;
    EXPECT_EQ(port->RING(), c.ring) << c.lines;
    EXPECT_EQ(port->RLSD(), c.rlsd) << c.lines;
  }

  // Output waits for CTS only under RTS/CTS flow.
  {
    std::lock_guard lock(FScript->Lock);
    FScript->Modem = 0;
  }
  EXPECT_FALSE(port->CTSHold()) << "CTS low, no flow control";
  port->FlowControl().SetOutCtsFlow(true);
  EXPECT_TRUE(port->CTSHold());
  {
    std::lock_guard lock(FScript->Lock);
    FScript->Modem = kModemCts;
  }
  EXPECT_FALSE(port->CTSHold());
  EXPECT_FALSE(port->DSRHold());
  EXPECT_FALSE(port->RLSDHold());
  EXPECT_FALSE(port->XOffSent());
}

TEST_F(SerialLineControl, PropertiesTellWhatTheDriverHasAndFailOnAHungUpLine) {
  auto port = NewScriptedPort();
  port->Open();
  FScript->Change([](TLineScript& s) { s.HasModem = false; });
  EXPECT_EQ(port->Properties(), BuildCommProp(nullptr, false)) << "a pty: no serial information, no modem lines";
  const TSerialInfo info{4, 115200, 16};
  FScript->Change([&](TLineScript& s) { s.HasModem = true, s.HasInfo = true, s.Info = info; });
  const TSerialCommProp uart = port->Properties();
  EXPECT_EQ(uart, BuildCommProp(&info, true));
  EXPECT_EQ(uart.dwProvSubType, PST_RS232);

  FPty.HangUp();
  EXPECT_EQ(MessageOf([&] { port->Properties(); }), "Error reading port properties (5), Input/output error");
}

TEST_F(SerialLineControl, ConfigurationIsReadBackIntoTheProperties) {
  struct Case {
    const char* name;
    uint32_t cflag;  // speed, size, parity, stop bits, CTS flow
    uint32_t iflag;
    uint32_t ospeed;  // with BOTHER
    uint32_t lines;
    bool hasLines;
    TSerialBaudrate baudrate;
    int32_t userBaudrate;
    TSerialDatabits databits;
    TSerialParity parity;
    TSerialStopbits stopbits;
    TSerialControlDtr dtr;
    TSerialControlRts rts;
  };
  const Case cases[] = {
      {"lines low", B9600 | CS8, 0, 0, 0, true, br9600, 0, db8, paNone, sb1, dtrDisabled, rtsDisabled},
      {"lines raised", B115200 | CS8, 0, 0, kModemDtr | kModemRts, true, br115200, 0, db8, paNone, sb1, dtrEnabled,
       rtsEnabled},
      {"no modem lines", B2400 | CS8, 0, 0, 0, false, br2400, 0, db8, paNone, sb1, dtrDisabled, rtsDisabled},
      {"cts flow", B19200 | CS8 | CRTSCTS, 0, 0, kModemRts, true, br19200, 0, db8, paNone, sb1, dtrDisabled,
       rtsHandshake},
      {"odd speed", BOTHER | CS8, 0, 250000, 0, true, brUser, 250000, db8, paNone, sb1, dtrDisabled, rtsDisabled},
      {"named speed by its rate", BOTHER | CS8, 0, 14400, 0, true, br14400, 0, db8, paNone, sb1, dtrDisabled,
       rtsDisabled},
      {"7 odd 2", B4800 | CS7 | PARENB | PARODD | CSTOPB, INPCK | IXON | IXOFF, 0, 0, true, br4800, 0, db7, paOdd, sb2,
       dtrDisabled, rtsDisabled},
      {"5 mark 1.5", B1200 | CS5 | PARENB | PARODD | CMSPAR | CSTOPB, 0, 0, 0, true, br1200, 0, db5, paMark, sb15,
       dtrDisabled, rtsDisabled},
      {"6 space", B300 | CS6 | PARENB | CMSPAR, 0, 0, 0, true, br300, 0, db6, paSpace, sb1, dtrDisabled, rtsDisabled},
  };
  // A pty keeps neither data bits nor parity of its own: the device's termios is scripted too.
  for (const Case& c : cases) {
    {
      std::lock_guard lock(FScript->Lock);
      FScript->Termios = ReadBackTermios(FPty.Slave());
      FScript->Termios.c_cflag = c.cflag | CREAD | CLOCAL;
      FScript->Termios.c_iflag = c.iflag;
      FScript->Termios.c_ispeed = FScript->Termios.c_ospeed = c.ospeed;
      FScript->Termios.c_cc[VSTART] = 0x21;
      FScript->Termios.c_cc[VSTOP] = 0x23;
      FScript->HasTermios = true;
      FScript->Modem = c.lines;
      FScript->HasModem = c.hasLines;
    }
    auto port = NewScriptedPort();
    port->SetUserBaudrate(1234);
    port->SetOptions({coNullStrip});
    port->ResetPortParameters();  // a closed port: the device is opened briefly
    EXPECT_FALSE(port->Active()) << c.name;
    EXPECT_EQ(port->Baudrate(), c.baudrate) << c.name;
    EXPECT_EQ(port->UserBaudrate(), c.userBaudrate) << c.name;
    EXPECT_EQ(port->Databits(), c.databits) << c.name;
    EXPECT_EQ(port->Parity(), c.parity) << c.name;
    EXPECT_EQ(port->Stopbits(), c.stopbits) << c.name;
    EXPECT_EQ(port->FlowControl().ControlDtr(), c.dtr) << c.name;
    EXPECT_EQ(port->FlowControl().ControlRts(), c.rts) << c.name;
    EXPECT_EQ(port->FlowControl().OutCtsFlow(), (c.cflag & CRTSCTS) != 0) << c.name;
    EXPECT_EQ(port->FlowControl().XonXoffOut(), (c.iflag & IXON) != 0) << c.name;
    EXPECT_EQ(port->FlowControl().XonXoffIn(), (c.iflag & IXOFF) != 0) << c.name;
    EXPECT_EQ(port->Options(), (c.iflag & INPCK) ? TSerialCommOptions{coParityCheck} : TSerialCommOptions{}) << c.name;
    EXPECT_EQ(port->EventChars().XonChar(), 0x21) << c.name;
    EXPECT_EQ(port->EventChars().XoffChar(), 0x23) << c.name;
    EXPECT_EQ(port->Buffers().XonLimit(), 1024) << c.name << ": Linux has no limits to read";
  }
}

TEST_F(SerialLineControl, OpenPortReadsWhatItsDeviceRunsNowAndAMissingDeviceHasNothing) {
  auto port = NewPort();
  port->Open();
  TSerialTermios t = ReadBackTermios(FPty.Slave());
  t.c_cflag = (t.c_cflag & ~CBAUD) | B38400;  // changed behind the port's back
  t.c_iflag |= IXON;
  WriteTermios(FPty.Slave(), t);
  port->ResetPortParameters();
  EXPECT_EQ(port->Baudrate(), br38400);
  EXPECT_TRUE(port->FlowControl().XonXoffOut());
  EXPECT_EQ(ReadBackTermios(FPty.Slave()).c_cflag & CBAUD, static_cast<uint32_t>(B38400));
  port->Close();

  TSerialComm missing;
  missing.SetDeviceName(FPty.SlavePath() + "-missing");
  EXPECT_EQ(MessageOf([&] { missing.ResetPortParameters(); }), "Error reading default port parameters.");
}

}  // namespace
}  // namespace kestova::test
