// The broker fixture against mosquitto's own command-line clients: it must really serve on the
// port it reports, enforce the accounts it was given, and come back on the same port.
#include "tests/support/mosquitto_broker.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process.h"
#include "tests/support/loopback_peer.h"

namespace kestova::test {
namespace {

constexpr const char* Pub = "/usr/bin/mosquitto_pub";
constexpr const char* Sub = "/usr/bin/mosquitto_sub";

std::vector<std::string> Address(const TMosquittoBroker& broker) {
  return {"-h", broker.Host(), "-p", std::to_string(broker.Port())};
}

// Publish a retained message and read it back with a fresh subscriber (no race with the
// subscription: the broker hands the retained message to it).
void ExpectRoundTrip(const TMosquittoBroker& broker, const std::string& text) {
  std::vector<std::string> pub{Pub, "-t", "fixture/check", "-m", text, "-r", "-q", "1"};
  const auto address = Address(broker);
  pub.insert(pub.end(), address.begin(), address.end());
  RunProgramOrThrow(pub);
  std::vector<std::string> sub{Sub, "-t", "fixture/check", "-C", "1", "-W", "10"};
  sub.insert(sub.end(), address.begin(), address.end());
  EXPECT_EQ(RunProgramOrThrow(sub), text + "\n") << broker.Log();
}

TEST(MosquittoBrokerTest, ServesAndRestartsOnTheSamePort) {
  TMosquittoBroker broker;
  broker.Start();
  ASSERT_TRUE(broker.IsRunning());
  const auto port = broker.Port();
  const auto firstPid = broker.Pid();
  EXPECT_NE(port, 0);
  ExpectRoundTrip(broker, "first");

  broker.Stop();
  EXPECT_FALSE(broker.IsRunning());
  std::vector<std::string> pub{Pub, "-t", "fixture/check", "-m", "x"};
  const auto address = Address(broker);
  pub.insert(pub.end(), address.begin(), address.end());
  EXPECT_NE(RunProgram(pub).ExitCode, 0) << "nothing may listen after Stop";

  broker.Start();
  EXPECT_EQ(broker.Port(), port);
  EXPECT_NE(broker.Pid(), firstPid);
  ExpectRoundTrip(broker, "second");

  broker.Restart();
  EXPECT_EQ(broker.Port(), port);
  ExpectRoundTrip(broker, "third");
  EXPECT_NE(broker.Log().find("running"), std::string::npos);
}

TEST(MosquittoBrokerTest, EnforcesItsAccounts) {
  TBrokerOptions options;
  options.AllowAnonymous = false;
  options.Users = {{"alice", "secret"}, {"bob", "other"}};
  TMosquittoBroker broker(options);
  broker.Start();

  struct TCase {
    std::vector<std::string> Credentials;
    bool Accepted;
  };
  const TCase cases[] = {
      {{"-u", "alice", "-P", "secret"}, true},
      {{"-u", "bob", "-P", "other"}, true},
      {{"-u", "alice", "-P", "wrong"}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> pub{Pub, "-t", "fixture/check", "-m", "x"};
    const auto address = Address(broker);
    pub.insert(pub.end(), address.begin(), address.end());
    pub.insert(pub.end(), c.Credentials.begin(), c.Credentials.end());
    const auto result = RunProgram(pub);
    EXPECT_EQ(result.ExitCode == 0, c.Accepted) << testing::PrintToString(c.Credentials) << ": " << result.Output;
  }
}

TEST(MosquittoBrokerTest, StartsAgainAfterACrash) {
  TMosquittoBroker broker;
  broker.Start();
  broker.Stop(SIGKILL);
  EXPECT_FALSE(broker.IsRunning());
  broker.Start();
  ExpectRoundTrip(broker, "after a crash");
}

}  // namespace
}  // namespace kestova::test
