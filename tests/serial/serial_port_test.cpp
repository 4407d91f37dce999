// The port on real pseudo terminals: opening, line parameters, queued output, the full-queue
// wait, closing, and the other side hanging up.
#include <asm/termbits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "port_fixture.h"
#include "termios_readback.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thrown_message.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

class SerialPort : public SerialPortFixture {};

std::string Pattern(std::size_t size, int seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed)) & 0xFF);
  return s;
}

// Stops the port's output the way a device does: XOFF from the other side. Bytes written to
// the pty after it stay in the port's queue. The 'A' behind the XOFF tells when the tty has
// taken both (it raises OnRxChar).
void StopOutput(TSerialComm& port, TPtyPair& pty) {
  std::atomic<int> received{0};
  port.OnRxChar = [&](TSerialCustomComm&, int32_t count) { received = count; };
  pty.WriteMaster(
      "\x13"
      "A");
  ASSERT_TRUE(PumpUntil([&] { return received.load() > 0; }));
  port.OnRxChar = nullptr;
}

TEST_F(SerialPort, OpensWithTheDisplayServiceLineParameters) {
  auto port = NewPort();
  int opened = 0;
  port->OnOpen = [&](TSerialCustomComm&) { ++opened; };
  port->Open();
  ASSERT_TRUE(port->Active());
  EXPECT_GE(port->Handle(), 0);
  EXPECT_EQ(opened, 1);

  const TSerialTermios t = ReadBackTermios(FPty.Slave());
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<uint32_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<uint32_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(SerialPort, QueuedBytesArriveInOrderFromAnyThread) {
  auto port = NewPort();
  port->Open();
  const std::string frame =
      "\x0c"
      "Total 1.50 EUR\x0a\x0d"
      "Thank you";
  ASSERT_TRUE(port->WriteText(frame));
  EXPECT_EQ(FPty.ReadMaster(frame.size(), 5s), frame);

  // More than the queue holds, from another thread while the main thread serves the port.
  std::string expected;
  for (int i = 0; i < 40; ++i) expected += Pattern(500, i);
  std::atomic<bool> allTaken{true};
  std::thread writer([&] {
    for (int i = 0; i < 40; ++i)
      if (!port->WriteText(Pattern(500, i))) allTaken = false;
  });
  const std::string got = FPty.ReadMaster(expected.size(), 20s);
  writer.join();
  EXPECT_TRUE(allTaken);
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

// The write thread reports an emptied queue to the main thread without waiting for it: with a
// main thread that only writes (it runs no tasks meanwhile), every byte still goes out.
TEST_F(SerialPort, WriterKeepsSendingWhileItsReportsWaitForTheMainThread) {
  auto port = NewPort();
  std::atomic<int> empties{0};
  port->OnTxEmpty = [&](TSerialCustomComm&) { ++empties; };
  port->Open();
  std::string expected;
  for (int i = 0; i < 20; ++i) expected += Pattern(1000, i);
  std::string got;
  std::atomic<bool> stop{false};
  std::thread display([&] {
    while (got.size() < expected.size() && !stop) {
      pollfd p{FPty.Master(), POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(FPty.Master(), buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
  });
  int taken = 0;
  try {
    for (int i = 0; i < 20; ++i) taken += port->WriteText(Pattern(1000, i));
  } catch (const ESerialCommError& e) {
    ADD_FAILURE() << e.what();
  }
  if (taken != 20) stop = true;
  display.join();
  EXPECT_EQ(taken, 20);
  EXPECT_TRUE(got == expected);
  // The reports that piled up meanwhile arrive, merged.
  EXPECT_TRUE(PumpUntil([&] { return empties.load() >= 1; }));
}

// Newest-only: frames are handed to the driver no faster than the line sends them, and the
// newest frame replaces those still waiting.
TEST_F(SerialPort, NewestFrameReplacesTheFramesWaitingForTheLine) {
  auto port = NewPort();
  port->SetNewestOnly(true);
  port->SetBaudrate(br110);  // 100 ms per character: the first frame keeps the line busy
  port->Open();
  const std::string first =
      "\x0C"
      "first\x0A\x0D"
      "1";
  ASSERT_TRUE(port->WriteText(first));
  ASSERT_TRUE(PumpUntil([&] { return port->WriteBufUsed() == 0; })) << "the frame went to the driver";
  for (const char* stale : {"\x0C"
                            "stale a",
                            "\x0C"
                            "stale b"})
    ASSERT_TRUE(port->WriteText(stale));
  const std::string newest =
      "\x0C"
      "newest\x0A\x0D"
      "2";
  ASSERT_TRUE(port->WriteText(newest));
  EXPECT_EQ(port->WriteBufUsed(), static_cast<int32_t>(newest.size()));
  // Both frames' line time, ten times over.
  const auto lineTime = std::chrono::milliseconds((first.size() + newest.size()) * 100 * 10);
  EXPECT_EQ(FPty.ReadMaster(first.size() + newest.size(), lineTime), first + newest);
  EXPECT_EQ(FPty.ReadMaster(1, 200ms), "") << "nothing stale follows";
}

TEST_F(SerialPort, EmptyTextIsTakenOnAnOpenPort) {
  auto port = NewPort();
  port->Open();
  EXPECT_TRUE(port->WriteText(""));
  EXPECT_TRUE(port->WriteChar('x'));
  EXPECT_EQ(FPty.ReadMaster(1, 5s), "x");
}

TEST_F(SerialPort, EmptyQueueIsReportedAfterItDrains) {
  auto port = NewPort();
  std::atomic<int> empties{0};
  port->OnTxEmpty = [&](TSerialCustomComm&) { ++empties; };
  port->Open();
  ASSERT_TRUE(port->WriteText("abc"));
  EXPECT_EQ(FPty.ReadMaster(3, 5s), "abc");
  EXPECT_TRUE(PumpUntil([&] { return empties.load() >= 1; }));
  EXPECT_EQ(port->WriteBufUsed(), 0);
  EXPECT_EQ(port->WriteBufFree(), 2048);
}

TEST_F(SerialPort, WriteOfExactlyWriteSizeIsTakenAndOneByteMoreIsRefusedAfterTheTimeout) {
  auto port = NewPort();
  port->Open();
  const std::string full = Pattern(2048, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port->WriteBuf(full.data(), 2048), 2048);
  EXPECT_LT(ElapsedMs(start), 900) << "an empty queue takes a full block without waiting";
  EXPECT_EQ(FPty.ReadMaster(2048, 5s), full);

  const std::string tooBig = Pattern(2049, 2);
  const auto waitStart = std::chrono::steady_clock::now();
  const double cpuStart = ProcessCpuMs();
  EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { port->WriteBuf(tooBig.data(), 2049); }),
            "Output buffer is full. Please check comm status.");
  const double cpuMs = ProcessCpuMs() - cpuStart;
  const long waited = ElapsedMs(waitStart);
  EXPECT_GE(waited, 1000);
  EXPECT_LT(waited, 5000);
  EXPECT_LT(cpuMs, 300.0) << "the wait for room must sleep, not spin";
  std::printf("refused write: waited %ld ms, process CPU %.1f ms\n", waited, cpuMs);
  RecordProperty("refused_wait_cpu_ms", static_cast<int>(cpuMs));
}

TEST_F(SerialPort, WriterWaitingForRoomIsTakenWhenTheQueueDrainsInTime) {
  auto port = NewPort();
  port->FlowControl().SetXonXoffOut(true);
  port->Open();
  StopOutput(*port, FPty);
  const std::string block = Pattern(2048, 3);
  ASSERT_EQ(port->WriteBuf(block.data(), 2048), 2048);
  std::thread resume([&] {
    std::this_thread::sleep_for(300ms);
    FPty.WriteMaster("\x11");  // XON
  });
  const std::string more = "more";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port->WriteText(more));
  EXPECT_LT(ElapsedMs(start), 5000);
  resume.join();
  EXPECT_TRUE(FPty.ReadMaster(2048 + more.size(), 10s) == block + more);
}

TEST_F(SerialPort, FullQueueIsRefusedWhileTheLineIsStoppedAndItsBytesAreDroppedAtClose) {
  auto port = NewPort();
  port->FlowControl().SetXonXoffOut(true);
  port->Open();
  StopOutput(*port, FPty);
  const std::string block = Pattern(2048, 4);
  ASSERT_EQ(port->WriteBuf(block.data(), 2048), 2048);

  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = ProcessCpuMs();
  EXPECT_THROW(port->WriteText("0123456789"), ESerialCommError);
  const double cpuMs = ProcessCpuMs() - cpuStart;
  EXPECT_GE(ElapsedMs(start), 1000);
  EXPECT_LT(cpuMs, 300.0);
  std::printf("full-queue wait: process CPU %.1f ms over %ld ms\n", cpuMs, ElapsedMs(start));
  EXPECT_EQ(port->WriteBufUsed(), 2048);

  // With a handler for errors the same refusal is a 0 result.
  int code = -1;
  std::string text;
  port->OnErrorException = [&](TSerialCustomComm&, int32_t c, const std::string& t) { code = c, text = t; };
  port->Buffers().SetWriteTimeout(50);
  EXPECT_EQ(port->WriteBuf("z", 1), 0);
  EXPECT_EQ(code, 0);

  port->Close();
  FPty.WriteMaster("\x11");
  EXPECT_EQ(FPty.ReadMaster(1, 300ms), "") << "bytes queued at Close are discarded";
}

TEST_F(SerialPort, PurgeWriteDropsTheQueue) {
  auto port = NewPort();
  port->FlowControl().SetXonXoffOut(true);
  port->Open();
  StopOutput(*port, FPty);
  ASSERT_TRUE(port->WriteText(Pattern(100, 5)));
  port->PurgeWrite();
  EXPECT_EQ(port->WriteBufUsed(), 0);
  FPty.WriteMaster("\x11");
  ASSERT_TRUE(port->WriteText("after"));
  EXPECT_EQ(FPty.ReadMaster(5, 5s), "after");
}

TEST_F(SerialPort, OpenOnAnOpenPortRaisesAndLeavesItWorking) {
  auto port = NewPort();
  port->Open();
  const int handle = port->Handle();
  EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { port->Open(); }), "Can't perform this operation while port is open");
  EXPECT_EQ(port->Handle(), handle);
  ASSERT_TRUE(port->WriteText("still"));
  EXPECT_EQ(FPty.ReadMaster(5, 5s), "still");

  // Another port on the same device is kept out, root or not.
  auto second = NewPort();
  EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { second->Open(); }),
            "Can't open specified device " + FPty.SlavePath() + " (Error 16, Device or resource busy)");
  EXPECT_FALSE(second->Active());
  port->Close();
  second->Open();  // free again once closed
  EXPECT_TRUE(second->Active());
}

class SerialPortOpenErrors : public SerialPortFixture {
 protected:
  const TTempDir FDir{"kestova-serial"};
};

TEST_F(SerialPortOpenErrors, EachFailureHasItsMessageAndLeavesThePortClosed) {
  std::ofstream(FDir.File("file")) << "not a tty";
  std::filesystem::create_directory(FDir.File("dir"));
  struct Case {
    std::string path;
    bool updateDcb;
    std::string message;
  };
  const Case cases[] = {
      {FDir.File("missing"), true, "Specified device not found (" + FDir.File("missing") + ")."},
      {FDir.File("dir"), true, "Can't open specified device " + FDir.File("dir") + " (Error 21, Is a directory)"},
      {FDir.File("file"), true, "Error writing dcb (25), Inappropriate ioctl for device"},
      {FDir.File("file"), false, "Error setting timeouts (25), Inappropriate ioctl for device"},
  };
  for (const Case& c : cases) {
    TSerialComm port;
    port.SetDeviceName(c.path);
    port.SetUpdateDCB(c.updateDcb);
    EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { port.Open(); }), c.message);
    EXPECT_FALSE(port.Active()) << c.path;
    EXPECT_EQ(port.Handle(), -1);
  }
}

TEST_F(SerialPortOpenErrors, MissingDeviceIsTriedAgainByTheNextOpen) {
  const std::string path = FDir.File("display");
  TSerialComm port;
  port.SetDeviceName(path);
  EXPECT_THROW(port.Open(), ESerialCommError);
  ASSERT_FALSE(port.Active());

  // Reported to the handler instead, the failure leaves the port closed as well.
  int code = 0;
  std::string text;
  port.OnErrorException = [&](TSerialCustomComm&, int32_t c, const std::string& t) { code = c, text = t; };
  port.Open();
  EXPECT_EQ(code, ENOENT);
  EXPECT_EQ(text, "No such file or directory");
  EXPECT_FALSE(port.Active());
  port.OnErrorException = nullptr;

  std::filesystem::create_symlink(FPty.SlavePath(), path);  // the device appears
  port.Open();
  EXPECT_TRUE(port.Active());
  ASSERT_TRUE(port.WriteText("hi"));
  EXPECT_EQ(FPty.ReadMaster(2, 5s), "hi");
}

TEST_F(SerialPort, SettersThatNeedAClosedPortRaiseWhileOpen) {
  auto port = NewPort();
  port->Open();
  struct Case {
    const char* name;
    std::function<void(TSerialComm&)> set;
  };
  const TSerialBuffers otherBuffers;
  const Case cases[] = {
      {"PortNum", [](TSerialComm& p) { p.SetPortNum(3); }},
      {"DeviceName", [](TSerialComm& p) { p.SetDeviceName("COM%d"); }},
      {"MonitorEvents", [](TSerialComm& p) { p.SetMonitorEvents({ceCts}); }},
      {"DirectWrite", [](TSerialComm& p) { p.SetDirectWrite(true); }},
      {"UpdateDCB", [](TSerialComm& p) { p.SetUpdateDCB(false); }},
      {"Buffers", [&](TSerialComm& p) { p.SetBuffers(otherBuffers); }},
      {"Buffers.WriteSize", [](TSerialComm& p) { p.Buffers().SetWriteSize(4096); }},
      {"Buffers.XonLimit", [](TSerialComm& p) { p.Buffers().SetXonLimit(1); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { c.set(*port); }), "Can't perform this operation while port is open")
        << c.name;
  }
  EXPECT_EQ(port->PortNum(), 0);
  EXPECT_EQ(port->DeviceName(), FPty.SlavePath());
  EXPECT_FALSE(port->DirectWrite());
  EXPECT_TRUE(port->UpdateDCB());
  // These take effect on the open port.
  port->Buffers().SetWriteTimeout(500);
  port->SetEventPriority(tpLower);
  port->SetWritePriority(tpNormal);
  // The queue keeps the size it was made with, whatever the group says now.
  const std::string block = Pattern(2048, 6);
  EXPECT_EQ(port->WriteBuf(block.data(), 2048), 2048);
  EXPECT_TRUE(FPty.ReadMaster(2048, 5s) == block);
}

TEST_F(SerialPort, SpeedAndFlowChangesReachTheOpenLine) {
  auto port = NewPort();
  port->Open();
  port->SetBaudrate(br19200);
  EXPECT_EQ(ReadBackTermios(FPty.Slave()).c_cflag & CBAUD, static_cast<uint32_t>(B19200));

  port->SetUserBaudrate(250000);
  EXPECT_EQ(port->Baudrate(), brUser);
  TSerialTermios t = ReadBackTermios(FPty.Slave());
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<uint32_t>(BOTHER));
  EXPECT_EQ(t.c_ospeed, 250000u);

  port->SetBaudrate(br14400);
  EXPECT_EQ(port->UserBaudrate(), 0);
  t = ReadBackTermios(FPty.Slave());
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<uint32_t>(BOTHER));
  EXPECT_EQ(t.c_ospeed, 14400u);

  port->FlowControl().SetXonXoffIn(true);
  port->EventChars().SetXoffChar(0x14);
  t = ReadBackTermios(FPty.Slave());
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_cc[VSTOP], 0x14);

  // A line the platform cannot run is refused, and the port stays open.
  EXPECT_THROW(port->SetDatabits(db4), ESerialCommError);
  EXPECT_TRUE(port->Active());
}

TEST_F(SerialPort, CloseRaisesOnCloseOnceAndPausesAndLeavesNoThread) {
  auto port = NewPort();
  int closes = 0;
  port->OnClose = [&](TSerialCustomComm&) { ++closes; };
  port->Open();
  // A thread names itself when it starts running.
  EXPECT_TRUE(PumpUntil([] { return SerialThreadCount() == 2; })) << "an event thread and a write thread";
  const auto start = std::chrono::steady_clock::now();
  port->Close();
  EXPECT_GE(ElapsedMs(start), 300);
  EXPECT_FALSE(port->Active());
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(SerialThreadCount(), 0);
  port->Close();
  EXPECT_EQ(closes, 1);

  // Destroying an open port ends its threads too, without OnClose.
  port->Open();
  port.reset();
  EXPECT_EQ(SerialThreadCount(), 0);
  EXPECT_EQ(closes, 1);
}

TEST_F(SerialPort, OtherSideHangingUpBecomesALineError) {
  auto port = NewPort();
  std::vector<int32_t> masks;
  port->OnError = [&](TSerialCustomComm&, int32_t errors) { masks.push_back(errors); };
  port->Buffers().SetWriteTimeout(100);  // also the pause before a failed write is retried
  port->Open();
  FPty.HangUp();
  ASSERT_TRUE(PumpUntil([&] { return !masks.empty(); }));
  EXPECT_EQ(masks.front(), static_cast<int32_t>(CE_IOE));

  // Writes are still queued; the write thread reports that it cannot send them.
  EXPECT_TRUE(port->WriteText("lost"));
  ASSERT_TRUE(PumpUntil([&] { return masks.size() >= 2; }));
  for (int32_t m : masks) EXPECT_EQ(m, static_cast<int32_t>(CE_IOE));
  EXPECT_EQ(port->WriteBufUsed(), 4);
  port->Close();
  EXPECT_FALSE(port->Active());
}

TEST_F(SerialPort, DirectWriteSendsAtOnceAndReportsTheEmptyLine) {
  auto port = NewPort();
  port->SetDirectWrite(true);
  std::atomic<int> empties{0};
  port->OnTxEmpty = [&](TSerialCustomComm&) { ++empties; };

  port->Open();
  EXPECT_TRUE(PumpUntil([] { return SerialThreadCount() == 1; })) << "no write thread";
  EXPECT_TRUE(port->WriteText("direct"));
  EXPECT_EQ(FPty.ReadMaster(6, 5s), "direct");
  EXPECT_TRUE(PumpUntil([&] { return empties.load() >= 1; }));
  EXPECT_EQ(port->WriteBufUsed(), 0);
}

}  // namespace
}  // namespace kestova::test
