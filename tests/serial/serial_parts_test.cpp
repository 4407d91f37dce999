// The port's parts that need no device: names to paths, option groups, the write queue, the
// error mask from counters, and the port's closed state.
#include <gtest/gtest.h>

#include <cerrno>

#include "serial/device_path.h"
#include "serial/serial_comm.h"
#include "serial/serial_comm_buffer.h"
#include "serial/serial_line_errors.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

TEST(SerialDevicePath, NamesAndNumbers) {
  struct Case {
    const char* name;
    int port;
    const char* path;
  };
  const Case cases[] = {
      {"COM%d", 1, "/dev/ttyS0"},           {"COM%d", 9, "/dev/ttyS8"},
      {"com%d", 3, "/dev/ttyS2"},           {"COM%d", 0, "/dev/COM0"},  // no port 0: not found
      {"/dev/ttyUSB%d", 2, "/dev/ttyUSB2"}, {"/dev/pts/7", 1, "/dev/pts/7"},
      {"ttyACM0", 5, "/dev/ttyACM0"},       {"/tmp/a%zz", 1, "/tmp/a%zz"},  // not a format: as it is
  };
  for (const Case& c : cases) EXPECT_EQ(SerialDevicePath(c.name, c.port), c.path) << c.name << " " << c.port;
}

TEST(SerialOptionGroups, ChangesAreAnnouncedOnceOutsideABatch) {
  TSerialFlowControl flow;
  int changes = 0;
  flow.OnChange = [&](TSerialPersistent&) { ++changes; };
  flow.SetXonXoffOut(true);
  flow.SetXonXoffOut(true);  // unchanged: no notification
  EXPECT_EQ(changes, 1);

  TSerialFlowControl other;
  other.SetControlDtr(dtrEnabled);
  other.SetControlRts(rtsHandshake);
  other.SetOutCtsFlow(true);
  flow.Assign(other);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(flow.ControlDtr(), dtrEnabled);
  EXPECT_EQ(flow.ControlRts(), rtsHandshake);
  EXPECT_TRUE(flow.OutCtsFlow());
  EXPECT_FALSE(flow.XonXoffOut());

  flow.BeginUpdate();
  flow.BeginUpdate();
  flow.SetDsrSensitivity(true);
  flow.EndUpdate();  // one batch still open: Changed stays silent
  EXPECT_EQ(changes, 2);
  flow.EndUpdate();
  EXPECT_EQ(changes, 3);
  flow.EndUpdate();  // not below zero; announces again
  EXPECT_EQ(flow.UpdateCount(), 0);
  EXPECT_EQ(changes, 4);
}

TEST(SerialOptionGroups, BufferTimeoutsChangeSilentlySizesDoNot) {
  TSerialBuffers buffers;
  EXPECT_EQ(buffers.ReadSize(), 4096);
  EXPECT_EQ(buffers.WriteSize(), 2048);
  EXPECT_EQ(buffers.ReadTimeout(), 1000);
  EXPECT_EQ(buffers.WriteTimeout(), 1000);
  EXPECT_EQ(buffers.XonLimit(), 1024);
  EXPECT_EQ(buffers.XoffLimit(), 1024);
  int changes = 0;
  buffers.OnChange = [&](TSerialPersistent&) { ++changes; };
  buffers.SetReadTimeout(5);
  buffers.SetWriteTimeout(6);
  EXPECT_EQ(changes, 0);
  buffers.SetReadSize(1);
  buffers.SetWriteSize(2);
  buffers.SetXonLimit(3);
  buffers.SetXoffLimit(4);
  buffers.SetXoffLimit(4);
  EXPECT_EQ(changes, 4);
}

TEST(SerialOptionGroups, EventCharsAreIndependentAndAlwaysAnnounce) {
  TSerialEventChars chars;
  EXPECT_EQ(chars.XonChar(), 17);
  EXPECT_EQ(chars.XoffChar(), 19);
  int changes = 0;
  chars.OnChange = [&](TSerialPersistent&) { ++changes; };
  chars.SetEofChar(26);
  chars.SetEventChar(13);
  chars.SetEventChar(13);  // same value: still announced
  EXPECT_EQ(chars.EofChar(), 26);
  EXPECT_EQ(chars.EventChar(), 13);
  EXPECT_EQ(changes, 3);
  chars.SetChar(9, 1);  // no such index: nothing
  EXPECT_EQ(changes, 3);
  TSerialEventChars copy;
  copy.Assign(chars);
  EXPECT_EQ(copy.EofChar(), 26);
  EXPECT_EQ(copy.EventChar(), 13);
  EXPECT_EQ(copy.XonChar(), 17);
}

TEST(SerialCommBuffer, FixedBlockWithRemovalFromTheFront) {
  TSerialCommBuffer queue(8);
  EXPECT_TRUE(queue.Write("abcdef", 6));
  EXPECT_FALSE(queue.Write("xyz", 3));  // does not fit: nothing appended
  EXPECT_EQ(queue.Size(), 6);
  EXPECT_TRUE(queue.Write("gh", 2));
  char out[8] = {};
  EXPECT_EQ(queue.Peek(out, 3), 3);
  EXPECT_EQ(std::string(out, 3), "abc");
  queue.Remove(3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(queue.DataPtr()), queue.Size()), "defgh");
  EXPECT_EQ(queue.Read(out, 10), 5);
  EXPECT_EQ(queue.Size(), 0);
  EXPECT_EQ(queue.Capacity(), 8);
}

TEST(SerialLineErrors, CountersThatMovedBecomeTheMask) {
  TSerialCounters before;
  TSerialCounters now = before;
  EXPECT_EQ(CounterErrorBits(before, now), 0u);
  EXPECT_EQ(CounterEvents(before, now), 0u);
  now.Overrun = 1;
  now.Frame = 4;
  EXPECT_EQ(CounterErrorBits(before, now), CE_OVERRUN | CE_FRAME);
  EXPECT_EQ(CounterEvents(before, now), EV_ERR);
  now = before;
  now.Brk = 1;
  now.Cts = 2;
  now.Dcd = 1;
  EXPECT_EQ(CounterErrorBits(before, now), CE_BREAK);
  EXPECT_EQ(CounterEvents(before, now), EV_BREAK | EV_ERR | EV_CTS | EV_RLSD);
  now = before;
  now.Parity = 1;
  now.BufOverrun = 1;
  EXPECT_EQ(CounterErrorBits(before, now), CE_RXPARITY | CE_RXOVER);
  EXPECT_EQ(ModemLineEvents(kModemCts | kModemDsr, kModemDsr | kModemRing), EV_CTS | EV_RING);
  EXPECT_EQ(ModemLineEvents(kModemDtr, kModemRts), 0u);  // our own outputs are no events
}

TEST(SerialError, SystemTextWithoutTrailingPunctuation) {
  EXPECT_EQ(SerialSysErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SerialSysErrorText(EBUSY), "Device or resource busy");
}

TEST(SerialClosedPort, InitialValues) {
  TSerialComm port;
  EXPECT_FALSE(port.AutoOpen());
  EXPECT_EQ(port.Baudrate(), br1200);
  EXPECT_EQ(port.Parity(), paNone);
  EXPECT_EQ(port.Databits(), db8);
  EXPECT_EQ(port.Stopbits(), sb1);
  EXPECT_TRUE(port.Options().Empty());
  EXPECT_EQ(port.PortNum(), 0);
  EXPECT_EQ(port.DeviceName(), "COM%d");
  EXPECT_EQ(port.MonitorEvents(), (TSerialCommEvents{ceError, ceRxChar, ceTxEmpty}));
  EXPECT_EQ(port.EventPriority(), tpNormal);
  EXPECT_EQ(port.WritePriority(), tpHighest);
  EXPECT_FALSE(port.DirectWrite());
  EXPECT_TRUE(port.UpdateDCB());
  EXPECT_EQ(port.UserBaudrate(), 0);
  EXPECT_EQ(port.Display(), nullptr);
  EXPECT_TRUE(port.SyncThreads());
  EXPECT_EQ(port.Handle(), -1);
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.SettingsStore().RegRoot(), rrCURRENTUSER);
  EXPECT_EQ(port.SettingsStore().Location(), slINIFile);
  EXPECT_EQ(port.FlowControl().ControlDtr(), dtrDisabled);
  EXPECT_EQ(port.EventChars().XoffChar(), 19);
}

TEST(SerialClosedPort, VersionIsFixed) {
  TSerialComm port;
  EXPECT_EQ(port.Version(), "2.2.0.1");
  port.SetVersion("9.9");
  EXPECT_EQ(port.Version(), "2.2.0.1");
}

TEST(SerialClosedPort, OutputAndCountsAreQuietlyEmpty) {
  TSerialComm port;
  int closes = 0;
  port.OnClose = [&](TSerialCustomComm&) { ++closes; };
  EXPECT_TRUE(port.WriteText(""));
  EXPECT_FALSE(
      port.WriteText("\x0c"
                     "abc"));
  EXPECT_FALSE(port.WriteChar('a'));
  EXPECT_EQ(port.WriteBuf("abc", 3), 0);
  EXPECT_EQ(port.WriteBufUsed(), 0);
  EXPECT_EQ(port.WriteBufFree(), 0);
  EXPECT_EQ(port.ReadBufUsed(), 0);
  EXPECT_EQ(port.ReadBufFree(), 0);
  EXPECT_EQ(port.UARTReadBufUsed(), 0);
  EXPECT_EQ(port.UARTWriteBufUsed(), 0);
  port.PurgeReadWrite();
  port.Close();
  EXPECT_EQ(closes, 0);
}

TEST(SerialClosedPort, InputStatusAndLineControlAreQuietlyEmpty) {
  TSerialComm port;
  char buf[4] = {};
  EXPECT_EQ(port.ReadBuf(buf, 4), 0);
  EXPECT_EQ(port.ReadText(), "");
  EXPECT_FALSE(port.ReadChar(buf[0]));
  EXPECT_FALSE(port.WaitChar(-1)) << "no device to wait on: at once";
  EXPECT_FALSE(port.ReadCharWait(buf[0], 1000));
  EXPECT_FALSE(port.CTS() || port.DSR() || port.RING() || port.RLSD());
  EXPECT_FALSE(port.CTSHold() || port.DSRHold() || port.RLSDHold() || port.XOffHold() || port.XOffSent());
  port.SetDTR(true);
  port.SetRTS(true);
  port.SetBreak(true);
  port.SetXon(false);
  port.ResetDev();
  EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { port.Properties(); }),
            "Can't perform this operation while port is closed");
  int calls = 0;
  port.OnErrorException = [&](TSerialCustomComm&, int32_t, const std::string&) { ++calls; };
  EXPECT_EQ(port.Properties(), TSerialCommProp{}) << "a zeroed record";
  EXPECT_EQ(calls, 1);
}

TEST(SerialProperties, RecordOfEveryTtyAndWhatTheDriverAdds) {
  const TSerialCommProp pty = BuildCommProp(nullptr, false);
  EXPECT_EQ(pty.wPacketLength, 64);
  EXPECT_EQ(pty.dwServiceMask, SP_SERIALCOMM);
  EXPECT_EQ(pty.dwProvSubType, PST_UNSPECIFIED);
  EXPECT_EQ(pty.dwMaxBaud, BAUD_USER);
  EXPECT_EQ(pty.dwProvCapabilities, PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR);
  EXPECT_EQ(pty.dwSettableParams, 0x3Fu);
  EXPECT_EQ(pty.dwSettableBaud, BAUD_USER | 0x7FFFFu) << "every rate of the table";
  EXPECT_EQ(pty.wSettableData, 0x0F);
  EXPECT_EQ(pty.wSettableStopParity, 0x1F07);
  EXPECT_EQ(pty.dwCurrentRxQueue, 0u);

  const TSerialInfo uart{4, 115200, 16};
  const TSerialCommProp p = BuildCommProp(&uart, true);
  EXPECT_EQ(p.dwProvSubType, PST_RS232);
  EXPECT_EQ(p.dwProvCapabilities, PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR | PCF_RTSCTS | PCF_RLSD);
  EXPECT_EQ(p.dwSettableParams, 0x7Fu);
  EXPECT_EQ(p.dwSettableBaud, BAUD_USER | (0x7FFFFu & ~0x10000u)) << "128000 is above the base rate";
  EXPECT_EQ(p.dwProvSpec1, 4u);
  EXPECT_EQ(p.dwProvSpec2, 115200u);
}

TEST(SerialClosedPort, NamedSpeedAndUserRateReplaceEachOther) {
  TSerialComm port;
  port.SetUserBaudrate(250000);
  EXPECT_EQ(port.Baudrate(), brUser);
  EXPECT_EQ(port.UserBaudrate(), 250000);
  port.SetBaudrate(br9600);
  EXPECT_EQ(port.UserBaudrate(), 0);
  port.SetUserBaudrate(1000);
  port.SetBaudrate(brUser);  // unchanged: the user rate stays
  EXPECT_EQ(port.UserBaudrate(), 1000);
  // Every setter works on a closed port.
  port.SetPortNum(4);
  port.SetDeviceName("/dev/pts/%d");
  port.SetMonitorEvents({ceRxChar});
  port.SetDirectWrite(true);
  port.SetUpdateDCB(false);
  port.Buffers().SetWriteSize(16);
  EXPECT_EQ(port.DevicePath(), "/dev/pts/4");
  EXPECT_EQ(port.Buffers().WriteSize(), 16);
}

}  // namespace
}  // namespace kestova
