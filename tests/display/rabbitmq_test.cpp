// The display service against RabbitMQ's MQTT plugin (a node of its own, started for this suite):
// connect, subscribe, the enumeration answer asked for with kestova-send at QoS 0, 1 and 2
// (RabbitMQ answers a QoS 2 PUBLISH with a PUBACK), and a broker restart. Skipped, saying why,
// where the rabbitmq-server package is not installed.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "tests/display/service_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/rabbitmq_broker.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

const std::string kSubscribed = "Subscribing to \"pos/displays\": Accepted";

class DisplayRabbitMqTest : public DisplayServiceTest {
 protected:
  // One node for the suite: it takes seconds to start.
  static void SetUpTestSuite() {
    if (!TRabbitMqBroker::Installed()) return;
    try {
      FRabbit = std::make_unique<TRabbitMqBroker>();
      FRabbit->Start();
    } catch (const std::exception& e) {
      FStartError = e.what();
      FRabbit.reset();
    }
  }
  static void TearDownTestSuite() { FRabbit.reset(); }

  void SetUp() override {
    ASSERT_EQ(FStartError, "");
    if (!FRabbit) {
      GTEST_SKIP() << "rabbitmq-server is not installed (scripts/install-deps.sh installs it): "
                      "the service was not tried against RabbitMQ";
    }
    DisplayServiceTest::SetUp();
    WriteSettings("", "Topics=pos/displays", FRabbit->Port());
    StartService();
    ASSERT_TRUE(WaitForLog(kSubscribed, 1, 30s)) << ::testing::PrintToString(LogLines());
  }

  // kestova-send asks for the displays at AQos while this thread keeps the service running.
  TProgramResult Enumerate(int AQos) {
    TProgramResult result;
    std::atomic<bool> done{false};
    std::thread tool([&] {
      try {
        result = RunProgram({KESTOVA_SEND_TOOL, "--broker", "127.0.0.1", "--port", std::to_string(FRabbit->Port()),
                             "--topic", "pos/displays", "--qos", std::to_string(AQos), "--enum", "--wait", "2"});
      } catch (const std::exception& e) {
        result.Output = e.what();
      }
      done = true;
    });
    // The tool ends on its own (its connect and delivery waits, then --wait).
    PumpUntil([&] { return done.load(); }, 60s);
    tool.join();
    return result;
  }

  static std::unique_ptr<TRabbitMqBroker> FRabbit;
  static std::string FStartError;
};

std::unique_ptr<TRabbitMqBroker> DisplayRabbitMqTest::FRabbit;
std::string DisplayRabbitMqTest::FStartError;

TEST_F(DisplayRabbitMqTest, AnswersEnumerationAskedAtEveryQos) {
  for (int qos = 0; qos <= 2; ++qos) {
    const TProgramResult result = Enumerate(qos);
    EXPECT_EQ(result.ExitCode, 0) << "QoS " << qos << ": " << result.Output;
    EXPECT_EQ(result.Output, "Display1\n") << "QoS " << qos;
  }
}

TEST_F(DisplayRabbitMqTest, ResubscribesAfterTheBrokerRestarts) {
  FRabbit->Restart();
  ASSERT_TRUE(WaitForLog("Connection lost."));
  const double interval = FService->mqttClient->KeepAliveSettings().AutoReconnectInterval();
  const auto longestWait = std::chrono::milliseconds(static_cast<int64_t>(1000 * interval * 1.2));
  ASSERT_TRUE(WaitForLog(kSubscribed, 2, longestWait + 10s));
  EXPECT_EQ(Enumerate(1).Output, "Display1\n");
}

}  // namespace
}  // namespace kestova::test
