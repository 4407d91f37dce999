// [Mqtt] StatusTopic against a real broker: a station reading one retained topic knows whether the
// display is up, through reconnects, crashes and clean stops.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/app/displayd_fixture.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kStatusTopic = "pos/display1/status";
// The server's keep-alive here; a broker notices a silent client within 1.5 times it.
constexpr int kKeepAlive = 4;
const std::chrono::seconds kWillDeadline{static_cast<int>(std::ceil(1.5 * kKeepAlive)) + 2};

class StatusTopicTest : public DisplaydTest {
 protected:
  std::string StatusSettings() {
    return Settings("DisplayMode=2",
                    std::string("StatusTopic=") + kStatusTopic + "\nKeepAlive=" + std::to_string(kKeepAlive));
  }

  std::vector<std::string> Subscriber(const std::vector<std::string>& extra) const {
    std::vector<std::string> argv{"/usr/bin/mosquitto_sub",
                                  "-h",
                                  FBroker.Host(),
                                  "-p",
                                  std::to_string(FBroker.Port()),
                                  "-t",
                                  kStatusTopic,
                                  "-q",
                                  "1",
                                  "-F",
                                  "%r %q %p"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
  }

  // What a station subscribing now gets from the retained message: "retain-flag qos payload".
  std::string Retained() const {
    const TProgramResult result = RunProgram(Subscriber({"--retained-only", "-C", "1", "-W", "5"}));
    return result.ExitCode == 0 ? result.Output : "(nothing retained: " + result.Output + ")";
  }
};

TEST_F(StatusTopicTest, OnlineAfterEveryConnectionAndTheBrokersWillSaysOfflineAfterACrash) {
  auto child = Start({"--settings", StatusSettings()});
  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted")) << Output();
  EXPECT_EQ(Retained(), "1 1 online\n");

  // The broker comes back without its retained messages: the next CONNACK brings "online" back.
  FBroker.Restart();
  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted", 30s, 2)) << Output();
  EXPECT_EQ(Retained(), "1 1 online\n");

  // A station watching the topic sees the will when the server dies without a word.
  const std::string watched = FDir.File("watched.log");
  UniqueFd out(open(watched.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  TChildProcess station(Subscriber({"-C", "2"}), out.Get());
  const auto watchedText = [&] {
    std::ifstream in(watched);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  // Its first message is the retained "online": from then on it is subscribed.
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (watchedText().empty() && std::chrono::steady_clock::now() < until) poll(nullptr, 0, 20);
  ASSERT_EQ(watchedText(), "1 1 online\n");
  child->Signal(SIGKILL);
  ASSERT_TRUE(station.WaitFor(kWillDeadline).has_value()) << watchedText();
  EXPECT_EQ(watchedText(), "1 1 online\n0 1 offline\n");
  EXPECT_EQ(Retained(), "1 1 offline\n");
}

TEST_F(StatusTopicTest, ACleanStopInServiceModePublishesOfflineBeforeItDisconnects) {
  auto child = Start({"--service", "--settings", StatusSettings()});
  ASSERT_TRUE(WaitForOutput("Subscribing to \"t\": Accepted")) << Output();
  EXPECT_EQ(Retained(), "1 1 online\n");
  child->Signal(SIGTERM);
  EXPECT_EQ(child->WaitFor(10s), 0) << Output();
  // The DISCONNECT drops the will, so only the server's own "offline" can be there.
  EXPECT_EQ(Retained(), "1 1 offline\n");
  EXPECT_NE(Output().find("Service stopped"), std::string::npos);
}

}  // namespace
}  // namespace kestova::test
