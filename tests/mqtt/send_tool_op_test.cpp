// kestova-send --op end to end: catalogue operations called by name through a real mosquitto,
// with a listening client of the test's own; and the arguments the tool refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/client.h"
#include "tests/mqtt/client_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"

namespace kestova::testing {
namespace {

struct TOpCase {
  const char* Name;
  std::vector<std::string> Op;  // --op and what follows
  std::string Topic;            // empty: publishes nothing
  std::string Payload;
  TMqttQoS Qos = TMqttQoS::qosAtMostOnce;
};

class SendToolOpTest : public TMainThreadTest {
 protected:
  void SetUp() override {
    TMainThreadTest::SetUp();
    FBroker.Start();
    FEvents.Attach(*FListener);
    AimClient(*FListener, FBroker.Host(), FBroker.Port(), "listener");
    FListener->Connect(true);
    ASSERT_TRUE(FEvents.WaitForStatus(TMqttConnectionStatus::csConnected));
    const uint16_t id = FListener->Subscribe("#", TMqttQoS::qosExactlyOnce);
    ASSERT_TRUE(FEvents.WaitForReceived(TMqttPacketType::mtSUBACK, id));
  }

  // Runs kestova-send on a thread of its own while the main thread is pumped.
  test::TProgramResult RunTool(const std::vector<std::string>& AOp) {
    std::vector<std::string> argv{
        KESTOVA_SEND_TOOL, "--broker", FBroker.Host(), "--port", std::to_string(FBroker.Port()),
        "--client-id",     "till-9",   "--topic",      "pos/ops"};
    argv.insert(argv.end(), AOp.begin(), AOp.end());
    test::TProgramResult result;
    std::atomic<bool> done{false};
    std::thread runner([&] {
      try {
        result = test::RunProgram(argv, std::chrono::seconds(30));
      } catch (const std::exception& e) {
        result.Output = e.what();
      }
      done = true;
      TestSignal().Signal();
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, std::chrono::seconds(40)));
    runner.join();
    return result;
  }

  // The publications the listener received since `AFrom`: topic, QoS and payload of each.
  std::vector<std::string> Since(std::size_t AFrom) const {
    std::vector<std::string> seen;
    std::vector<TMqttPacketInfo> publishes;
    for (const TMqttPacketInfo& info : FEvents.Received())
      if (info.PacketType == TMqttPacketType::mtPUBLISH) publishes.push_back(info);
    const auto messages = FEvents.Messages();
    for (std::size_t i = AFrom; i < messages.size(); ++i)
      seen.push_back(messages[i].Topic + " " + std::to_string(static_cast<int>(publishes.at(i).PacketQos)) + " " +
                     messages[i].Payload);
    return seen;
  }

  test::TMosquittoBroker FBroker;
  TClientRecorder FEvents;
  std::unique_ptr<TMqttClient> FListener = std::make_unique<TMqttClient>();
};

std::string Packet(const std::string& ATarget, const std::string& ACommand, const std::string& AParams) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>till-9</sender><target>" + ATarget +
         "</target><command>" + ACommand + "</command><params>" + AParams + "</params></msg>";
}

TEST_F(SendToolOpTest, AnOperationPublishesExactlyWhatItPublishesAndTheToolDisconnects) {
  const TOpCase cases[] = {
      {"integers", {"--op", "RfidOpenDoor", "3", "7"}, "pos/ops", Packet("", "RFID_OPENDOOR", "ReaderId=3,HostelId=7")},
      {"support mode, empty text, Boolean",
       {"--op", "SendCallSupport", "1", "", "X", "true"},
       "pos/ops",
       Packet("X", "KESTOVA_HELP", "Method=1,Force=-1")},
      {"own topic at QoS 2, options after the arguments",
       {"--op", "SendSlaveCopyProduct", "Shop_A", "12", "--qos", "0"},
       "vumo/shop_a",
       Packet("", "SLAVE_COPY_PRODUCT", "Id=12"),
       TMqttQoS::qosExactlyOnce},
      {"text with a comma",
       {"--op", "SendSms", "+386 40", "a, b"},
       "pos/ops",
       Packet("", "SEND_SMS", "Tel=+386 40,&quot;Message=a, b&quot;")},
      {"raw text on a topic", {"--op", "SendCustomMsg", "raw/t", "as is"}, "raw/t", "as is"},
      {"nothing to publish", {"--op", "SendFursSendDoc", "3"}, "", ""},
      {"only logged", {"--op", "SendDisconnectedWill"}, "", ""},
  };
  for (const TOpCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::size_t before = FEvents.Messages().size();
    const test::TProgramResult result = RunTool(c.Op);
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(result.Output, "");
    // A marker of the listener's own comes after anything the tool published.
    FListener->Publish("marker", std::string_view("end"), TMqttQoS::qosAtMostOnce, false);
    const std::size_t expected = c.Topic.empty() ? 1 : 2;
    ASSERT_TRUE(FEvents.WaitForMessages(before + expected));
    std::vector<std::string> want;
    if (!c.Topic.empty()) want.push_back(c.Topic + " " + std::to_string(static_cast<int>(c.Qos)) + " " + c.Payload);
    want.push_back("marker 0 end");
    EXPECT_EQ(Since(before), want);
  }
  EXPECT_TRUE(PumpUntil([&] { return FBroker.Log().find("Client till-9 disconnected.") != std::string::npos; }));
  EXPECT_EQ(FBroker.Log().find("Client till-9 closed its connection"), std::string::npos) << FBroker.Log();
}

TEST_F(SendToolOpTest, UnknownOperationsAndArgumentsOfTheWrongFormAreBadUsage) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--op", "SendNothing"}, "no operation SendNothing can be called with --op (see --help)"},
      {{"--op", "SetDb", "x.ini"}, "no operation SetDb can be called with --op (see --help)"},
      {{"--op", "RfidOpenDoor", "3"}, "RfidOpenDoor takes 2 arguments"},
      {{"--op", "RfidOpenDoor", "3", "seven"}, "RfidOpenDoor: HostelId must be an integer"},
      {{"--op", "RfidOpenDoor", "3", "4294967296"}, "RfidOpenDoor: HostelId must be an integer"},
      {{"--op", "SendInventoryMode", "yes"}, "SendInventoryMode: IsInventory must be true or false"},
      {{"--op", "SendCallSupport", "2", "", "X", "true"}, "SendCallSupport: SupportMode must be 0 or 1"},
      {{"--op", "SendLogout", "--raw", "x"}, "give one of --show, --enum, --raw and --op"},
  };
  for (const auto& [AOp, message] : cases) {
    const test::TProgramResult result = RunTool(AOp);
    EXPECT_EQ(result.ExitCode, 2) << result.Output;
    EXPECT_EQ(result.Output.rfind("kestova-send: " + message + "\n", 0), 0u) << result.Output;
  }
}

}  // namespace
}  // namespace kestova::testing
