// The port's input on real pseudo terminals: received bytes with and without clients, reading,
// waiting for a byte, and line errors that come with the bytes.
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "port_fixture.h"
#include "scripted_device.h"
#include "serial/serial_dispatcher.h"
#include "tests/support/thread_names.h"
#include "tests/support/thrown_message.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

// A client's owner that writes what it is told into a shared log.
class TLoggingUser : public ISerialCommUser {
 public:
  TLoggingUser(std::string name, std::vector<std::string>& log) : FName(std::move(name)), FLog(log) {}
  void LineChanged(uint32_t Events) override { FLog.push_back(FName + " line " + std::to_string(Events)); }
  void DataChanged(const uint8_t* Data, int32_t Count) override {
    FLog.push_back(FName + " data " +
                   std::string(reinterpret_cast<const char*>(Data), static_cast<std::size_t>(Count)));
  }

 private:
  std::string FName;
  std::vector<std::string>& FLog;
};

class SerialInput : public SerialPortFixture {
 protected:
  // Logs OnRxChar and OnRxBuf the way the users log theirs.
  std::unique_ptr<TSerialComm> NewLoggingPort() {
    auto port = NewPort();
    port->OnRxChar = [this](TSerialCustomComm&, int32_t count) { FLog.push_back("rxchar " + std::to_string(count)); };
    port->OnRxBuf = [this](TSerialCustomComm&, const uint8_t* data, int32_t count) {
      FLog.push_back("rxbuf " + std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(count)));
    };
    return port;
  }

  // The bytes the log says `who` received, in order.
  std::string Received(const std::string& who) const {
    std::string bytes;
    const std::string prefix = who + " ";
    for (const std::string& line : FLog)
      if (line.rfind(prefix, 0) == 0) bytes += line.substr(prefix.size());
    return bytes;
  }

  std::vector<std::string> FLog;
};

TEST_F(SerialInput, WithoutClientsTheBytesWaitAndOnRxCharTellsHowMany) {
  auto port = NewLoggingPort();
  port->Open();
  EXPECT_EQ(port->ReadText(), "") << "an empty queue";
  char ch = 0;
  EXPECT_FALSE(port->ReadChar(ch));
  FPty.WriteMaster("hello");
  ASSERT_TRUE(PumpUntil([&] { return !FLog.empty() && FLog.back() == "rxchar 5"; })) << ::testing::PrintToString(FLog);
  for (const std::string& line : FLog) EXPECT_EQ(line.rfind("rxchar ", 0), 0u) << line;
  EXPECT_EQ(port->ReadBufUsed(), 5);
  EXPECT_EQ(port->ReadBufFree(), 4096 - 5);
  ASSERT_TRUE(port->ReadChar(ch));
  EXPECT_EQ(ch, 'h');
  EXPECT_EQ(port->ReadText(), "ello");
  EXPECT_EQ(port->ReadText(), "");
}

TEST_F(SerialInput, ClientsGetTheBytesFirstThenOnRxBufAndLineEventsBeforeTheHandlers) {
  auto port = NewLoggingPort();
  port->OnTxEmpty = [&](TSerialCustomComm&) { FLog.push_back("txempty"); };
  TLoggingUser firstUser("first", FLog), secondUser("second", FLog);
  TSerialDispatcher first(firstUser), second(secondUser);
  port->InsertClient(&first);
  port->InsertClient(&second);
  port->Open();
  FPty.WriteMaster("hello");
  ASSERT_TRUE(PumpUntil([&] { return Received("rxbuf") == "hello"; })) << ::testing::PrintToString(FLog);
  EXPECT_EQ(Received("first data"), "hello");
  EXPECT_EQ(Received("second data"), "hello");
  // Each arrival: first, second, then OnRxBuf; never OnRxChar.
  for (std::size_t i = 0; i < FLog.size(); i += 3) {
    ASSERT_LE(i + 3, FLog.size());
    const std::string bytes = FLog[i].substr(std::string("first data ").size());
    EXPECT_EQ(FLog[i + 1], "second data " + bytes);
    EXPECT_EQ(FLog[i + 2], "rxbuf " + bytes);
  }
  EXPECT_EQ(port->ReadBufUsed(), 0) << "the bytes were read at once";

  FLog.clear();
  ASSERT_TRUE(first.WriteText("x"));  // the write thread reports the emptied queue
  ASSERT_TRUE(PumpUntil([&] { return FLog.size() >= 3; }));
  EXPECT_EQ(FLog, (std::vector<std::string>{"first line 4", "second line 4", "txempty"}));
  EXPECT_EQ(FPty.ReadMaster(1, 5s), "x");
}

TEST_F(SerialInput, DisabledOrInactiveClientsAreToldNothingButTheBytesAreStillRead) {
  auto port = NewLoggingPort();
  TLoggingUser user("client", FLog);
  TSerialDispatcher client(user);
  port->InsertClient(&client);
  port->DisableControls();
  port->Open();
  FPty.WriteMaster("one");
  ASSERT_TRUE(PumpUntil([&] { return Received("rxbuf") == "one"; }));
  EXPECT_EQ(Received("client data"), "");
  EXPECT_EQ(port->ReadBufUsed(), 0);

  port->EnableControls();
  client.SetActive(false);
  FPty.WriteMaster("two");
  ASSERT_TRUE(PumpUntil([&] { return Received("rxbuf") == "onetwo"; }));
  EXPECT_EQ(Received("client data"), "");

  client.SetActive(true);
  FPty.WriteMaster("three");
  ASSERT_TRUE(PumpUntil([&] { return Received("rxbuf") == "onetwothree"; }));
  EXPECT_EQ(Received("client data"), "three");
  EXPECT_EQ(Received("rxchar"), "");
}

TEST_F(SerialInput, ClientForwardsToItsPortAndForgetsItWhenEitherGoes) {
  std::vector<std::string> log;
  TLoggingUser user("u", log);
  auto port = NewPort();
  auto other = NewPort();
  auto client = std::make_unique<TSerialDispatcher>(user);
  EXPECT_EQ(client->WriteBuf("a", 1), 0) << "no port";
  EXPECT_FALSE(client->WriteText("a"));
  EXPECT_FALSE(client->WriteChar('a'));
  client->PurgeReadWrite();
  client->SetDTRState(true);

  other->InsertClient(client.get());
  port->InsertClient(client.get());  // moves it: a client is on one port at a time
  EXPECT_EQ(client->Comm(), port.get());
  other.reset();
  port->Open();
  EXPECT_TRUE(client->WriteText("via client"));
  EXPECT_EQ(FPty.ReadMaster(10, 5s), "via client");
  client->PurgeWrite();

  client.reset();  // detaches itself: the port goes back to OnRxChar
  std::atomic<int> rx{0};
  port->OnRxChar = [&](TSerialCustomComm&, int32_t count) { rx = count; };
  FPty.WriteMaster("z");
  EXPECT_TRUE(PumpUntil([&] { return rx.load() == 1; }));

  TSerialDispatcher survivor(user);
  port->InsertClient(&survivor);
  port.reset();
  EXPECT_EQ(survivor.Comm(), nullptr);
  EXPECT_FALSE(survivor.WriteText("gone"));
}

// Parity errors come with the bad bytes. With the default events and no client, one wake-up
// brings both: the bytes' count and the errors must both be reported.
TEST_F(SerialInput, LineErrorsThatComeWithTheBytesAreReportedAfterThem) {
  auto script = std::make_shared<TLineScript>();
  auto port = NewLoggingPort();
  port->SetDeviceOpener(ScriptedOpener(script));
  std::vector<int32_t> errors;
  port->OnError = [&](TSerialCustomComm&, int32_t mask) {
    errors.push_back(mask);
    FLog.push_back("error");
  };
  port->Open();
  {
    std::lock_guard lock(script->Lock);  // the counters move with the bytes, no wake-up of their own
    script->Counters.Parity += 3;
  }
  FPty.WriteMaster("\x01\x02\x03");
  const auto has = [&](const std::string& line) { return std::find(FLog.begin(), FLog.end(), line) != FLog.end(); };
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty() && has("rxchar 3"); })) << ::testing::PrintToString(FLog);
  EXPECT_EQ(errors, std::vector<int32_t>{static_cast<int32_t>(CE_RXPARITY)});
  EXPECT_EQ(FLog.front().rfind("rxchar ", 0), 0u) << "the data step runs first";
  EXPECT_EQ(port->ReadText(), "\x01\x02\x03");
}

TEST_F(SerialInput, AFailingReadIsRaisedAndTheDataStepHandsItToTheApplication) {
  auto script = std::make_shared<TLineScript>();
  auto port = NewLoggingPort();
  port->SetDeviceOpener(ScriptedOpener(script));
  std::vector<std::string> reported;
  port->OnApplicationException = [&](TSerialCustomComm&, const std::string& message) { reported.push_back(message); };
  port->Open();
  script->Change([](TLineScript& s) { s.ReadError = EIO; });
  char buf[4];
  EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { port->ReadBuf(buf, 4); }), "Read error (5), Input/output error");
  TLoggingUser user("client", FLog);
  TSerialDispatcher client(user);
  port->InsertClient(&client);
  FPty.WriteMaster("lost?");
  ASSERT_TRUE(PumpUntil([&] { return !reported.empty(); }));
  EXPECT_EQ(reported, std::vector<std::string>{"Read error (5), Input/output error"});
  script->Change([](TLineScript& s) { s.ReadError = 0; });
  EXPECT_EQ(port->ReadText(), "lost?") << "the bytes wait for a read that works";
}

// The device goes (ENODEV) right after a read of the data step: the bytes it read are out of the
// driver, so they reach the client and OnRxBuf before the error is reported.
TEST_F(SerialInput, BytesReadBeforeTheQueueCountFailsStillReachTheApplication) {
  auto script = std::make_shared<TLineScript>();
  script->QueueErrorAfterRead = ENODEV;
  auto port = NewLoggingPort();
  port->SetDeviceOpener(ScriptedOpener(script));
  port->OnApplicationException = [&](TSerialCustomComm&, const std::string& message) { FLog.push_back(message); };
  TLoggingUser user("client", FLog);
  TSerialDispatcher client(user);
  port->InsertClient(&client);
  port->Open();
  FPty.WriteMaster("hello");
  ASSERT_TRUE(PumpUntil([&] { return FLog.size() >= 3; })) << ::testing::PrintToString(FLog);
  EXPECT_EQ(FLog, (std::vector<std::string>{"client data hello", "rxbuf hello",
                                            "Error retrieving statistics (19), No such device"}));
}

TEST_F(SerialInput, WaitCharReturnsWhenAByteArrivesAndAfterItsTimeOutWithoutAThread) {
  auto port = NewPort();
  port->Open();
  const int threads = CountThreadsNamed("");
  constexpr int32_t kTimeOut = 300;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->WaitChar(kTimeOut));
  EXPECT_GE(ElapsedMs(start), kTimeOut);
  EXPECT_EQ(CountThreadsNamed(""), threads) << "no thread started or left behind";
  char ch = 0;
  EXPECT_FALSE(port->ReadCharWait(ch, 0));

  // A byte that comes while it waits ends the wait; one that waits already ends it at once.
  constexpr int32_t kLongTimeOut = 60000;
  std::thread device([&] {
    std::this_thread::sleep_for(100ms);
    FPty.WriteMaster("k");
  });
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port->WaitChar(kLongTimeOut));
  EXPECT_LT(ElapsedMs(start), kLongTimeOut);
  device.join();
  EXPECT_TRUE(port->WaitChar(0));
  ASSERT_TRUE(port->ReadCharWait(ch, 0));
  EXPECT_EQ(ch, 'k');

  // The line hangs up: no byte will come, the wait ends at once.
  std::thread unplug([&] {
    std::this_thread::sleep_for(100ms);
    FPty.HangUp();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->WaitChar(kLongTimeOut));
  EXPECT_LT(ElapsedMs(start), kLongTimeOut);
  unplug.join();
  EXPECT_EQ(CountThreadsNamed(""), threads);
}

}  // namespace
}  // namespace kestova::test
