// Line events on a pty whose modem lines, error counters and write failures are scripted,
// the thread a handler runs on, and handlers that raise or close the port.
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "port_fixture.h"
#include "scripted_device.h"
#include "serial/serial_display.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

// Lets a test run the line-event step itself.
class TProbePort : public TSerialComm {
 public:
  using TSerialCustomComm::HandleLineEvent;
};

class SerialEvents : public SerialPortFixture {
 protected:
  template <typename Port = TSerialComm>
  std::unique_ptr<Port> NewScriptedPort() {
    auto port = std::make_unique<Port>();
    port->SetDeviceName(FPty.SlavePath());
    port->SetBaudrate(br9600);
    port->SetDeviceOpener(ScriptedOpener(FScript));
    return port;
  }

  std::shared_ptr<TLineScript> FScript = std::make_shared<TLineScript>();
};

TEST_F(SerialEvents, ErrorMaskIsReadAndClearedInOneStepAndZeroIsNotReported) {
  auto port = NewScriptedPort<TProbePort>();
  std::vector<int32_t> masks;
  port->OnError = [&](TSerialCustomComm&, int32_t errors) { masks.push_back(errors); };
  port->Open();
  port->HandleLineEvent(EV_ERR);
  EXPECT_TRUE(masks.empty()) << "no error since opening";

  {
    std::lock_guard lock(FScript->Lock);  // changed without waking the event thread
    FScript->Counters.Frame += 1;
    FScript->Counters.Overrun += 2;
  }
  port->HandleLineEvent(EV_ERR);
  ASSERT_EQ(masks.size(), 1u);
  EXPECT_EQ(masks[0], static_cast<int32_t>(CE_FRAME | CE_OVERRUN));
  port->HandleLineEvent(EV_ERR);
  EXPECT_EQ(masks.size(), 1u) << "a mask is reported once";
}

TEST_F(SerialEvents, ErrorsFromBeforeTheOpeningAreNotReported) {
  FScript->Counters.Parity = 5;
  auto port = NewScriptedPort<TProbePort>();
  int calls = 0;
  port->OnError = [&](TSerialCustomComm&, int32_t) { ++calls; };
  port->Open();
  port->HandleLineEvent(EV_ERR);
  EXPECT_EQ(calls, 0);
}

TEST_F(SerialEvents, CounterChangesBecomeLineEvents) {
  struct Case {
    const char* name;
    void (*change)(TLineScript&);
    const char* events;  // handlers expected, in order
    int32_t mask;        // OnError's mask, 0 for none
  };
  const Case cases[] = {
      {"parity error", [](TLineScript& s) { ++s.Counters.Parity; }, "E", static_cast<int32_t>(CE_RXPARITY)},
      {"break", [](TLineScript& s) { ++s.Counters.Brk; }, "EB", static_cast<int32_t>(CE_BREAK)},
      {"cts", [](TLineScript& s) { ++s.Counters.Cts; }, "C", 0},
      {"dsr and dcd", [](TLineScript& s) { ++s.Counters.Dsr, ++s.Counters.Dcd; }, "DL", 0},
      {"ring", [](TLineScript& s) { ++s.Counters.Rng; }, "R", 0},
  };
  for (const Case& c : cases) {
    FScript = std::make_shared<TLineScript>();
    auto port = NewScriptedPort();
    port->SetMonitorEvents({ceError, ceBreak, ceCts, ceDsr, ceRing, ceRlsd});
    std::string seen;
    int32_t mask = 0;
    port->OnError = [&](TSerialCustomComm&, int32_t errors) { seen += 'E', mask = errors; };
    port->OnBreak = [&](TSerialCustomComm&) { seen += 'B'; };
    port->OnCts = [&](TSerialCustomComm&) { seen += 'C'; };
    port->OnDsr = [&](TSerialCustomComm&) { seen += 'D'; };
    port->OnRing = [&](TSerialCustomComm&) { seen += 'R'; };
    port->OnRlsd = [&](TSerialCustomComm&) { seen += 'L'; };
    port->Open();
    FScript->Change(c.change);
    EXPECT_TRUE(PumpUntil([&] { return seen.size() >= std::string(c.events).size(); })) << c.name;
    EXPECT_EQ(seen, c.events) << c.name;
    EXPECT_EQ(mask, c.mask) << c.name;
  }
}

TEST_F(SerialEvents, ModemLinesWithoutCountersAreWatchedByTheirLevels) {
  FScript->HasCounters = false;
  auto port = NewScriptedPort();
  port->SetMonitorEvents({ceCts, ceDsr, ceRing, ceRlsd});
  std::string seen;
  port->OnCts = [&](TSerialCustomComm&) { seen += 'C'; };
  port->OnDsr = [&](TSerialCustomComm&) { seen += 'D'; };
  port->OnRing = [&](TSerialCustomComm&) { seen += 'R'; };
  port->OnRlsd = [&](TSerialCustomComm&) { seen += 'L'; };
  port->Open();
  FScript->Change([](TLineScript& s) { s.Modem |= kModemCts; });
  ASSERT_TRUE(PumpUntil([&] { return seen == "C"; })) << seen;
  FScript->Change([](TLineScript& s) { s.Modem = kModemDsr | kModemRing | kModemDcd | kModemCts; });
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 4; }));
  EXPECT_EQ(seen, "CDRL");
}

TEST_F(SerialEvents, FailedWriteIsReportedAndItsBytesAreSentWhenTheDeviceRecovers) {
  auto port = NewScriptedPort();
  std::vector<int32_t> masks;
  std::atomic<int> empties{0};
  port->OnError = [&](TSerialCustomComm&, int32_t errors) { masks.push_back(errors); };
  port->OnTxEmpty = [&](TSerialCustomComm&) { ++empties; };
  port->Buffers().SetWriteTimeout(100);  // the pause before a retry
  port->Open();
  FScript->Change([](TLineScript& s) { s.WriteError = EIO; });
  ASSERT_TRUE(port->WriteText("kept"));
  ASSERT_TRUE(PumpUntil([&] { return !masks.empty(); }));
  EXPECT_EQ(masks[0], static_cast<int32_t>(CE_IOE));
  EXPECT_EQ(port->WriteBufUsed(), 4);
  EXPECT_EQ(empties.load(), 0);
  FScript->Change([](TLineScript& s) { s.WriteError = 0; });
  EXPECT_EQ(FPty.ReadMaster(4, 5s), "kept");
  EXPECT_TRUE(PumpUntil([&] { return empties.load() == 1; }));
}

TEST_F(SerialEvents, HandlersRunOnTheMainThreadOnlyWhenSynchronised) {
  for (const bool sync : {true, false}) {
    auto port = NewScriptedPort();
    port->SetSyncThreads(sync);
    port->SetMonitorEvents({ceError, ceRxChar});
    std::mutex lock;
    std::vector<std::thread::id> ids;
    auto record = [&] {
      std::lock_guard l(lock);
      ids.push_back(std::this_thread::get_id());
    };
    port->OnTxEmpty = [&](TSerialCustomComm&) { record(); };
    port->OnRxChar = [&](TSerialCustomComm&, int32_t) { record(); };
    port->Open();
    ASSERT_TRUE(port->WriteText("x"));  // the write thread reports the empty queue
    FPty.WriteMaster("y");              // the event thread reports the arrival
    ASSERT_TRUE(PumpUntil([&] {
      std::lock_guard l(lock);
      return ids.size() >= 2;
    }));
    port->Close();
    for (const auto& id : ids) EXPECT_EQ(id == std::this_thread::get_id(), sync) << "sync " << sync;
  }
}

TEST_F(SerialEvents, HandlerMayCloseThePortFromEitherThread) {
  for (const bool sync : {true, false}) {
    FScript = std::make_shared<TLineScript>();

    auto port = NewScriptedPort();
    port->SetSyncThreads(sync);
    std::atomic<int> closes{0};
    port->OnError = [&](TSerialCustomComm& sender, int32_t) { sender.Close(); };
    port->OnClose = [&](TSerialCustomComm&) { ++closes; };
    port->Open();
    FScript->Change([](TLineScript& s) { ++s.Counters.Frame; });
    ASSERT_TRUE(PumpUntil([&] { return closes.load() == 1; })) << "sync " << sync;
    EXPECT_FALSE(port->Active());
    port->Open();  // joins the thread the handler ran for, and opens afresh
    EXPECT_TRUE(port->Active());
    port.reset();
    EXPECT_EQ(SerialThreadCount(), 0) << "sync " << sync;
  }
}

TEST_F(SerialEvents, ErrorsOfHandlersGoToTheApplicationHandlerAndThePortGoesOn) {
  auto port = NewScriptedPort();
  std::vector<std::string> reported;
  std::atomic<int> empties{0};
  port->OnApplicationException = [&](TSerialCustomComm&, const std::string& message) { reported.push_back(message); };
  port->OnTxEmpty = [&](TSerialCustomComm&) {
    if (++empties == 1) throw std::runtime_error("handler failed");
  };
  port->OnOpen = [](TSerialCustomComm&) { throw ESerialCommError("open handler failed"); };
  port->Open();
  EXPECT_TRUE(port->Active()) << "an OnOpen error does not undo the opening";
  ASSERT_TRUE(port->WriteText("a"));
  ASSERT_TRUE(PumpUntil([&] { return empties.load() == 1; }));
  ASSERT_TRUE(port->WriteText("b"));
  EXPECT_EQ(FPty.ReadMaster(2, 5s), "ab");
  ASSERT_TRUE(PumpUntil([&] { return empties.load() == 2; }));
  EXPECT_EQ(reported, (std::vector<std::string>{"open handler failed", "handler failed"}));
}

class TCountingDisplay : public TSerialDisplay {
 public:
  void UpdateDisplay(TSerialCustomComm&) override { ++Updates; }
  std::atomic<int> Updates{0};
};

TEST_F(SerialEvents, StatusDisplayIsUpdatedOnEachDispatchAndForgottenWhenDestroyed) {
  auto port = NewScriptedPort();
  auto display = std::make_unique<TCountingDisplay>();
  port->SetDisplay(display.get());
  port->Open();
  FPty.WriteMaster("z");
  ASSERT_TRUE(PumpUntil([&] { return display->Updates.load() >= 1; }));
  port->Close();
  display.reset();
  EXPECT_EQ(port->Display(), nullptr);
}

}  // namespace
}  // namespace kestova::test
