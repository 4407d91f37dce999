// The RFID reader against the fake reader on loopback: the exact text of each command on a
// connection of its own, the log lines of each step, the interpretation of reply lines, the
// queries waiting for their answer, simulation, and the failures that never reach the caller.
#include "rfid/rfid_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/rfid/log_capture.h"
#include "tests/support/fake_reader.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/thread_names.h"

namespace kestova::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

constexpr std::chrono::milliseconds kGenerous{10000};
const std::string kAdmin = TRfidReader::kDefaultAdminPass;
const std::string kDoor = TRfidReader::kDefaultDoorPass;

// The lines a reader handed to its OnCommandHandler (on its listening thread).
class THandled {
 public:
  void Attach(TRfidReader& reader) {
    reader.OnCommandHandler = [this](TCmdTCPClient&, std::string& data, TCmdContext&) {
      {
        std::lock_guard lock(FLock);
        FLines.push_back(data);
      }
      FChanged.notify_all();
    };
  }
  bool WaitFor(const std::string& line) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, kGenerous,
                             [&] { return std::find(FLines.begin(), FLines.end(), line) != FLines.end(); });
  }
  Lines Seen() const {
    std::lock_guard lock(FLock);
    return FLines;
  }

 private:
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  Lines FLines;
};

class RfidReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { Aim(*FReader, FFake); }
  void TearDown() override {
    FReader.reset();
    EXPECT_EQ(test::CountThreadsNamed("cmd-listener"), 0);
  }
  static void Aim(TRfidReader& reader, const test::TFakeReader& fake) {
    reader.SetIP(fake.Host());
    reader.SetPort(fake.Port());
    reader.SetDescription("Door 1");
  }
  std::string Where() const { return "127.0.0.1: " + std::to_string(FFake.Port()); }

  test::TFakeReader FFake;
  TLogCapture FLog;
  std::unique_ptr<TRfidReader> FReader = std::make_unique<TRfidReader>();
};

TEST_F(RfidReaderTest, OpenDoorSendsThePinOnAConnectionOfItsOwnAndLogsEachStep) {
  const auto before = std::chrono::system_clock::now();
  FReader->OpenDoor();
  EXPECT_EQ(FFake.ReceivedBeforeKnock(), Lines{"O" + kDoor});
  EXPECT_GE(FReader->LastSeen(), before);
  EXPECT_EQ(FLog.Entries(), (std::vector<TLogEntry>{
                                {"INFO", "Opening door on Door 1 (127.0.0.1)"},
                                {"INFO", "Sending to 127.0.0.1: O" + kDoor},
                                {"VERBOSE", "RFID: Connecting... "},
                                {"VERBOSE", "Connected to: " + Where()},
                                {"VERBOSE", "Writing to socket: O" + kDoor},
                                {"INFO", "(Disconnect) Disconnecting from 127.0.0.1..."},
                                {"VERBOSE", "Disconnected from: " + Where()},
                            }));
}

struct TCommandCase {
  const char* Name;
  std::function<void(TRfidReader&)> Run;
  Lines Sent;                     // one item per connection
  std::vector<TLogEntry> Logged;  // in this order, among others
  bool Pauses = false;            // for the reader's reset
};

TEST_F(RfidReaderTest, EachCommandWritesItsExactTextOnItsOwnConnection) {
  TStringList keys;
  for (const char* key : {"11", "0", "12"}) keys.Add(key);
  const TCommandCase cases[] = {
      {"add a key",
       [](TRfidReader& r) { r.AddNewKey("12345"); },
       {"C12345"},
       {{"INFO", "RFID: Adding key 12345 to: " + Where()}, {"INFO", "Sending to 127.0.0.1: C12345"}}},
      {"add key 0", [](TRfidReader& r) { r.AddNewKey("0"); }, {}, {{"INFO", "RFID: Adding key 0 to: " + Where()}}},
      {"add no key", [](TRfidReader& r) { r.AddNewKey(""); }, {}, {{"INFO", "RFID: Adding key  to: " + Where()}}},
      {"delete a key", [](TRfidReader& r) { r.DeleteKey("77"); }, {"D77"}, {{"INFO", "Sending to 127.0.0.1: D77"}}},
      {"index to zero",
       [](TRfidReader& r) { r.SetIndexToZero(); },
       {"W" + kAdmin},
       {{"INFO", "Setting index to zero"}, {"INFO", "Sending to 127.0.0.1: W" + kAdmin}}},
      {"learn mode toggle", [](TRfidReader& r) { r.ToggleLearnMode(); }, {"L" + kAdmin}, {}},
      {"error beep", [](TRfidReader& r) { r.BeepError(); }, {"e"}, {}},
      {"another door PIN",
       [](TRfidReader& r) {
         r.SetDoorPass("1234");
         r.OpenDoor();
       },
       {"O1234"},
       {}},
      {"reset with a key list",
       [&](TRfidReader& r) { r.ResetReader(&keys); },
       {"W" + kAdmin, "C11", "C12"},
       {{"INFO", "Resetting reader: " + Where()},
        {"INFO", "Setting index to zero"},
        {"INFO", "RFID: Adding key 0 to: " + Where()}},
       true},
      {"reset alone",
       [](TRfidReader& r) {
         r.SetAdminPass("99");
         r.ResetReader(nullptr);
       },
       {"W99"},
       {},
       true},
  };
  for (const TCommandCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRfidReader reader;
    Aim(reader, FFake);
    FLog.Reset();
    const auto start = Clock::now();
    c.Run(reader);
    const auto took = Clock::now() - start;
    EXPECT_EQ(FFake.ReceivedBeforeKnock(), c.Sent);
    EXPECT_TRUE(LoggedInOrder(FLog.Entries(), c.Logged));
    if (c.Pauses) {
      EXPECT_GE(took, TRfidReader::kResetPause) << "the reset pause";
    }
  }
}

struct TReplyCase {
  const char* Name;
  std::string Received;  // what the reader sends while the connection is open
  bool LearnMode;
  bool AutoMode;
  Lines Handled;  // handed to OnCommandHandler
  std::vector<TLogEntry> Logged;
};

TEST_F(RfidReaderTest, ReplyLinesSetTheModesReportFailuresAndPassTheRestOn) {
  const std::string data200(200, 'd');
  const TReplyCase cases[] = {
      {"l1",
       "l1\r\n",
       true,
       false,
       {},
       {{"INFO", "(PreProcessData) Reiceved data from 127.0.0.1: l1"},
        {"VERBOSE", "(PreProcessData) cmd: l"},
        {"VERBOSE", "(PreProcessData) data: 1"}}},
      {"l1 then l0", "l1\r\nl0\n", false, false, {}, {}},
      {"L1", "L1\n", true, false, {}, {}},
      {"l10 changes nothing", "l1\nl10\n", true, false, {"l10"}, {}},
      {"a1 and A0", "a1\nA0\na1\n", false, true, {}, {}},
      {"D0", "D0\n", false, false, {}, {{"VERBOSE", "(PreProcessData) Delete key problem: 0"}}},
      {"D1 and C1", "D1\nC1\n", false, false, {}, {}},
      {"C0", "C0\n", false, false, {}, {{"VERBOSE", "(PreProcessData) Add key problem: 0"}}},
      {"W", "W\n", false, false, {"W"}, {{"VERBOSE", "(PreProcessData) Reader reset "}}},
      {"data cut at 200",
       "X" + data200 + "tail\n",
       false,
       false,
       {"X" + data200 + "tail"},
       {{"VERBOSE", "(PreProcessData) cmd: X"}, {"VERBOSE", "(PreProcessData) data: " + data200}}},
      {"key list", "List of saved keys\r12345\r67890\n", false, false, {"List of saved keys\r12345\r67890"}, {}},
  };
  for (const TReplyCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRfidReader reader;
    Aim(reader, FFake);
    THandled handled;
    handled.Attach(reader);
    FLog.Reset();
    ASSERT_TRUE(reader.Connect2());
    ASSERT_TRUE(FFake.WaitForAccepted(1));
    FFake.Write(0, c.Received + "ZEND\n");
    ASSERT_TRUE(handled.WaitFor("ZEND"));
    reader.Disconnect(false);
    EXPECT_EQ(FFake.ReceivedBeforeKnock(), Lines{""});

    Lines seen = handled.Seen();
    seen.pop_back();
    EXPECT_EQ(seen, c.Handled);
    EXPECT_TRUE(LoggedInOrder(FLog.Entries(), c.Logged));
    EXPECT_EQ(reader.Keys().Items(), (c.Name == std::string("key list") ? Lines{"12345", "67890"} : Lines{}));
    reader.SetActive(false);  // read the stored modes without asking the reader
    EXPECT_EQ(reader.LearnMode(), c.LearnMode);
    EXPECT_EQ(reader.AutoMode(), c.AutoMode);
  }
}

TEST_F(RfidReaderTest, AQueryWaitsForTheReadersAnswerUntilTheTimeout) {
  struct TQueryCase {
    const char* Name;
    std::function<bool(TRfidReader&)> Ask;
    std::string Request;
    std::string Answer;  // none: the reader stays silent
    bool HangUp;
    int32_t Timeout;
    bool Expected;
  };
  const TQueryCase cases[] = {
      {"learn mode on, after another line", [](TRfidReader& r) { return r.LearnMode(); }, "l", "W\r\nl1\r\n", false,
       30000, true},
      {"automatic mode on", [](TRfidReader& r) { return r.AutoMode(); }, "a", "A1\n", false, 30000, true},
      {"no answer: the stored state", [](TRfidReader& r) { return r.LearnMode(); }, "l", "", false, 300, false},
      {"hung up without an answer", [](TRfidReader& r) { return r.AutoMode(); }, "a", "", true, 30000, false},
  };
  for (const TQueryCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TFakeReader fake;
    if (!c.Answer.empty() || c.HangUp) fake.Answer(c.Request, c.Answer, c.HangUp);
    TRfidReader reader;
    Aim(reader, fake);
    reader.SetTimeout(c.Timeout);
    const auto start = Clock::now();
    EXPECT_EQ(c.Ask(reader), c.Expected);
    // Bounded by the setting under test: an answer or a hang-up ends the wait before it.
    if (c.Timeout >= 30000) {
      EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(c.Timeout));
    }
    EXPECT_EQ(fake.ReceivedBeforeKnock(), Lines{c.Request});
  }
}

TEST_F(RfidReaderTest, ConnectionFailuresAreLoggedAndNothingIsWritten) {
  const uint16_t refusing = test::FreeLoopbackPort();
  struct TFailureCase {
    const char* Name;
    std::string IP;
    int32_t Port;
    std::string Error;
  };
  const TFailureCase cases[] = {
      {"no port", "127.0.0.1", 0, "(Connect2) Error: A Port is required"},
      {"a port out of range", "127.0.0.1", 65536 + FFake.Port(), "(Connect2) Error: A Port is required"},
      {"no address", "", FFake.Port(), "(Connect2) Error: A Host is required"},
      {"refused", "127.0.0.1", refusing,
       "(Connect2) Error: Could not connect to 127.0.0.1:" + std::to_string(refusing) + ": Connection refused"},
  };
  for (const TFailureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRfidReader reader;
    reader.SetIP(c.IP);
    reader.SetPort(c.Port);
    FLog.Reset();
    reader.OpenDoor();
    EXPECT_TRUE(LoggedInOrder(FLog.Entries(), {{"INFO", "Sending to " + c.IP + ": O" + kDoor}, {"ERROR", c.Error}}));
    for (const TLogEntry& entry : FLog.Entries()) EXPECT_NE(entry.Text.rfind("Writing to socket", 0), 0u);
    EXPECT_FALSE(reader.IsConnected());
  }
  EXPECT_EQ(FFake.ReceivedBeforeKnock(), Lines{});
}

TEST_F(RfidReaderTest, InSimulationCommandsAreOnlyLogged) {
  FReader->SetActive(false);
  FReader->OpenDoor();
  EXPECT_FALSE(FReader->Connect2());
  EXPECT_FALSE(FReader->LearnMode());
  EXPECT_EQ(FFake.ReceivedBeforeKnock(), Lines{});
  EXPECT_EQ(FLog.Entries(), (std::vector<TLogEntry>{
                                {"INFO", "Opening door on Door 1 (127.0.0.1)"},
                                {"INFO", "*SIMULATION* Sending: O" + kDoor},
                                {"INFO", "*SIMULATION* - Connecting... "},
                                {"INFO", "*SIMULATION* Sending: l"},
                            }));
}

TEST_F(RfidReaderTest, AFreshReaderHasItsDefaultsAndClosesAConnectionLeftOpenWhenDestroyed) {
  EXPECT_EQ(FReader->LastError(), "500-Unknown Internal Error\r\n");
  EXPECT_EQ(FReader->AdminPass(), "47109235");
  EXPECT_EQ(kDoor.size(), 4u);
  EXPECT_EQ(FReader->Timeout(), 1000);
  EXPECT_TRUE(FReader->Active());
  EXPECT_EQ(FReader->LastSeen(), TDateTime{});
  ASSERT_TRUE(FReader->Connect2());
  EXPECT_TRUE(FReader->IsConnected());
  FLog.Reset();
  FReader.reset();
  EXPECT_EQ(FLog.Entries(), (std::vector<TLogEntry>{{"INFO", "(Destroy) Freeing reader IP=127.0.0.1..."},
                                                    {"VERBOSE", "Disconnected from: " + Where()}}));
  EXPECT_EQ(FFake.ReceivedBeforeKnock(), Lines{""});
}

}  // namespace
}  // namespace kestova::testing
