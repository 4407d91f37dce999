// kestova-send end to end: the program is run against a real mosquitto while the test's own
// client listens (and, for the enumeration, plays two displays that answer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "messaging/xml_packet.h"
#include "mqtt/client.h"
#include "tests/mqtt/client_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace kestova::testing {
namespace {

using S = TMqttConnectionStatus;
using Clock = std::chrono::steady_clock;

struct TToolRun {
  test::TProgramResult Result;
  std::chrono::milliseconds Took{0};
};

// Runs kestova-send with AArgs on a thread of its own while the main thread is pumped, so the
// test's clients keep working meanwhile.
TToolRun RunTool(const std::vector<std::string>& AArgs) {
  std::vector<std::string> argv{KESTOVA_SEND_TOOL};
  argv.insert(argv.end(), AArgs.begin(), AArgs.end());
  TToolRun run;
  std::atomic<bool> done{false};
  std::thread runner([&] {
    const auto start = Clock::now();
    try {
      run.Result = test::RunProgram(argv, std::chrono::seconds(30));
    } catch (const std::exception& e) {
      run.Result.Output = e.what();
    }
    run.Took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    done = true;
    TestSignal().Signal();
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }, std::chrono::seconds(40)));
  runner.join();
  return run;
}

std::vector<std::string> BrokerArgs(const test::TMosquittoBroker& ABroker) {
  return {"--broker", ABroker.Host(), "--port", std::to_string(ABroker.Port())};
}

std::vector<std::string> Join(std::vector<std::string> AFirst, const std::vector<std::string>& ASecond) {
  AFirst.insert(AFirst.end(), ASecond.begin(), ASecond.end());
  return AFirst;
}

// A client of the test's own, listening or answering on the broker.
struct TListener {
  TListener(const test::TMosquittoBroker& ABroker, const std::string& AClientId) {
    events.Attach(*client);
    AimClient(*client, ABroker.Host(), ABroker.Port(), AClientId);
    client->Connect(true);
    EXPECT_TRUE(events.WaitForStatus(S::csConnected));
  }
  void Subscribe(const std::string& ATopic) {
    const uint16_t id = client->Subscribe(ATopic, TMqttQoS::qosExactlyOnce);
    EXPECT_TRUE(events.WaitForReceived(TMqttPacketType::mtSUBACK, id));
  }
  TClientRecorder events;
  std::unique_ptr<TMqttClient> client = std::make_unique<TMqttClient>();
};

class SendToolTest : public TMainThreadTest {
 protected:
  void SetUp() override {
    TMainThreadTest::SetUp();
    FBroker.Start();
  }
  test::TMosquittoBroker FBroker;
};

TEST_F(SendToolTest, PublishesRawTextAndShowMessagePacketsAtEachQosAndDisconnects) {
  TListener listener(FBroker, "listener");
  listener.Subscribe("pos/#");

  TToolRun raw =
      RunTool(Join(BrokerArgs(FBroker), {"--client-id", "till-1", "--topic", "pos/raw", "--raw", "hello \xC3\xA9"}));
  EXPECT_EQ(raw.Result.ExitCode, 0) << raw.Result.Output;
  EXPECT_EQ(raw.Result.Output, "");

  TToolRun show =
      RunTool(Join(BrokerArgs(FBroker), {"--client-id", "till-2", "--qos", "1", "--topic", "pos/show", "--show",
                                         "Line, one", "x\"y \xC4\x8D", "--target", "DISP", "--align2", "R"}));
  EXPECT_EQ(show.Result.ExitCode, 0) << show.Result.Output;

  TToolRun exact =
      RunTool(Join(BrokerArgs(FBroker), {"--client-id", "till-3", "--qos", "2", "--topic", "pos/q2", "--raw", "two"}));
  EXPECT_EQ(exact.Result.ExitCode, 0) << exact.Result.Output;

  ASSERT_TRUE(listener.events.WaitForMessages(3));
  const auto messages = listener.events.Messages();
  EXPECT_EQ(messages[0].Topic, "pos/raw");
  EXPECT_EQ(messages[0].Payload, "hello \xC3\xA9");
  EXPECT_EQ(messages[2].Payload, "two");

  const TXmlPacket packet(messages[1].Payload);
  EXPECT_EQ(packet.Command(), TCommand::SHOW_MESSAGE);
  EXPECT_EQ(packet.Sender(), "till-2");
  EXPECT_EQ(packet.Target(), "DISP");
  EXPECT_EQ(packet.Params().Values("LINE1"), "Line, one");
  EXPECT_EQ(packet.Params().Values("LINE2"), "x\"y \xC4\x8D");
  EXPECT_EQ(packet.Params().Values("ALIGN1"), "");
  EXPECT_EQ(packet.Params().Values("ALIGN2"), "R");

  // Each run ended with a DISCONNECT, not by dropping the connection.
  EXPECT_TRUE(PumpUntil([&] { return FBroker.Log().find("Client till-3 disconnected.") != std::string::npos; }));
  for (const char* id : {"till-1", "till-2", "till-3"}) {
    EXPECT_NE(FBroker.Log().find(std::string("Client ") + id + " disconnected."), std::string::npos) << id;
    EXPECT_EQ(FBroker.Log().find(std::string("Client ") + id + " closed its connection"), std::string::npos) << id;
  }
}

TEST_F(SendToolTest, EnumerationPrintsTheDisplayIdOfEveryAnswer) {
  // Two displays that answer every enumeration request on the topic, as the display server does.
  std::vector<std::unique_ptr<TListener>> displays;
  for (const char* name : {"display-7", "display-8"}) {
    displays.push_back(std::make_unique<TListener>(FBroker, name));
    TListener& display = *displays.back();
    display.Subscribe("pos/enum");
    display.events.AfterPublish = [&display, name] {
      const TXmlPacket request(display.events.Messages().back().Payload);
      if (request.Command() != TCommand::ENUM_DISPLAYS_REQ) return;
      TXmlPacket answer("pos/enum", name, "", TCommand::ENUM_DISPLAYS_ANS, "");
      answer.Params().SetCommaText(std::string("DisplayId=") + name);
      display.client->Publish("pos/enum", std::string_view(answer.ToString()), TMqttQoS::qosAtMostOnce, false);
    };
  }
  TToolRun run = RunTool(Join(BrokerArgs(FBroker), {"--topic", "pos/enum", "--enum", "--wait", "1.5"}));
  EXPECT_EQ(run.Result.ExitCode, 0) << run.Result.Output;
  const std::string& out = run.Result.Output;
  EXPECT_TRUE(out == "display-7\ndisplay-8\n" || out == "display-8\ndisplay-7\n") << out;
}

TEST_F(SendToolTest, ABrokerThatCannotBeUsedGivesOneLineNamingTheStatusWithinTenSeconds) {
  test::TBrokerOptions closed;
  closed.AllowAnonymous = false;
  closed.Users = {{"till", "right"}};
  test::TMosquittoBroker guarded(closed);
  guarded.Start();
  TFullBacklog unreachable;
  test::TLoopbackPeer mute;  // takes the connection, never answers the CONNECT

  struct TCase {
    const char* Name;
    std::vector<std::string> Args;
    std::string Status;
    TToolRun Run;
  };
  std::vector<TCase> cases = {
      {"refused",
       {"--broker", "127.0.0.1", "--port", std::to_string(test::FreeLoopbackPort())},
       "csConnectionRejected_ServerUnavailable",
       {}},
      {"unreachable",
       {"--broker", "127.0.0.1", "--port", std::to_string(unreachable.Port())},
       "csConnectionRejected_ServerUnavailable",
       {}},
      {"silent", {"--broker", "127.0.0.1", "--port", std::to_string(mute.Port())}, "csConnecting", {}},
      {"wrong password",
       Join(BrokerArgs(guarded), {"--user", "till", "--pass", "wrong"}),
       "csConnectionRejected_ClientNotAuthorized",
       {}},
  };
  // All at once: the slow cases wait out their time-outs side by side.
  std::vector<std::thread> runners;
  std::atomic<int> done{0};
  for (TCase& c : cases) {
    runners.emplace_back([&c, &done] {
      std::vector<std::string> argv{KESTOVA_SEND_TOOL};
      argv.insert(argv.end(), c.Args.begin(), c.Args.end());
      argv.insert(argv.end(), {"--topic", "pos/x", "--raw", "x"});
      const auto start = Clock::now();
      c.Run.Result = test::RunProgram(argv, std::chrono::seconds(30));
      c.Run.Took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
      ++done;
      TestSignal().Signal();
    });
  }
  EXPECT_TRUE(PumpUntil([&] { return done.load() == static_cast<int>(cases.size()); }, std::chrono::seconds(40)));
  for (std::thread& runner : runners) runner.join();
  for (const TCase& c : cases) {
    EXPECT_EQ(c.Run.Result.ExitCode, 1) << c.Name << ": " << c.Run.Result.Output;
    EXPECT_NE(c.Run.Result.Output.find(c.Status), std::string::npos) << c.Name << ": " << c.Run.Result.Output;
    EXPECT_EQ(c.Run.Result.Output.rfind("kestova-send: ", 0), 0u) << c.Name;
    EXPECT_EQ(std::count(c.Run.Result.Output.begin(), c.Run.Result.Output.end(), '\n'), 1) << c.Name;
    EXPECT_LT(c.Run.Took, std::chrono::seconds(10)) << c.Name;
  }
}

// A broker that bends the rules, scripted: RabbitMQ answers a QoS 2 PUBLISH with a PUBACK (it
// downgrades QoS 2 to 1), which counts as delivered; and every way out, failed ones too, ends
// with a DISCONNECT.
TEST_F(SendToolTest, APubAckForQos2CountsAsDeliveredAndEveryExitDisconnects) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Action;
    const char* Answer;  // to the PUBLISH or SUBSCRIBE
    int ExitCode;
    const char* Output;
  };
  const std::vector<TCase> cases = {
      {"QoS 2 answered by PUBACK", {"--qos", "2", "--raw", "x"}, "40 02 00 01", 0, ""},
      {"subscription refused",
       {"--enum"},
       "90 03 00 01 80",
       1,
       "kestova-send: the broker refused the subscription to pos/x\n"},
  };
  for (const TCase& c : cases) {
    TFakeBroker fake;
    std::string request, rest;
    fake.Run([&](test::TLoopbackPeer& APeer) {
      AcceptConnect(APeer);
      request = ReadPacket(APeer);
      WritePacket(APeer, c.Answer);
      rest = APeer.ReadUntilClosed();
    });
    const TToolRun run =
        RunTool(Join({"--broker", fake.Host(), "--port", std::to_string(fake.Port()), "--topic", "pos/x"}, c.Action));
    fake.Finish();
    EXPECT_EQ(run.Result.ExitCode, c.ExitCode) << c.Name << ": " << run.Result.Output;
    EXPECT_EQ(run.Result.Output, c.Output) << c.Name;
    EXPECT_EQ(rest, std::string("\xE0\x00", 2)) << c.Name << " after " << request;
  }
}

TEST_F(SendToolTest, BadUsageExitsWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--topic", "t", "--raw", "x"},
      {"--broker", "h", "--raw", "x"},
      {"--broker", "h", "--topic", "t"},
      {"--broker", "h", "--topic", "t", "--qos", "3", "--raw", "x"},
      {"--broker", "h", "--topic", "t", "--raw", "x", "--enum"},
      {"--broker", "h", "--topic", "t", "--show", "a", "b"},
      {"--broker", "h", "--topic", "t", "--insecure", "--raw", "x"},
      {"--broker", "h", "--topic", "t", "--port", "70000", "--raw", "x"},
      {"--broker", "h", "--topic", "t", "--frobnicate"},
  };
  for (const auto& args : cases) {
    std::vector<std::string> argv{KESTOVA_SEND_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    const test::TProgramResult result = test::RunProgram(argv);
    EXPECT_EQ(result.ExitCode, 2) << result.Output;
    EXPECT_NE(result.Output.find("usage: kestova-send"), std::string::npos);
  }
  const test::TProgramResult help = test::RunProgram({KESTOVA_SEND_TOOL, "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Output.find("ENUM_DISPLAYS_ANS"), std::string::npos);
}

class SendToolTlsTest : public TMainThreadTest {};

TEST_F(SendToolTlsTest, VerifiesTheBrokerUnlessToldNotTo) {
  test::TTempDir folder;
  const test::TTestCertificates certificates = test::GenerateTestCertificates(folder.Path());
  test::TBrokerOptions options;
  options.Tls = test::TBrokerTls{certificates.CertFile, certificates.KeyFile, ""};
  test::TMosquittoBroker broker(options);
  broker.Start();
  const std::vector<std::string> base = {
      "--broker", "localhost", "--port", std::to_string(broker.TlsPort()), "--tls", "--topic", "pos/tls", "--raw", "x"};
  const TToolRun trusted = RunTool(Join(base, {"--cafile", certificates.CAFile}));
  EXPECT_EQ(trusted.Result.ExitCode, 0) << trusted.Result.Output;
  const TToolRun untrusted = RunTool(base);
  EXPECT_EQ(untrusted.Result.ExitCode, 1) << untrusted.Result.Output;
  EXPECT_NE(untrusted.Result.Output.find("csConnectionRejected_ServerUnavailable"), std::string::npos);
  // The error line says why, not only that the broker was unavailable.
  EXPECT_NE(untrusted.Result.Output.find("certificate verification failed (unable to get local issuer certificate)"),
            std::string::npos)
      << untrusted.Result.Output;
  const TToolRun insecure = RunTool(Join(base, {"--insecure"}));
  EXPECT_EQ(insecure.Result.ExitCode, 0) << insecure.Result.Output;
}

TEST_F(SendToolTlsTest, ACertificateForAnotherHostIsRefusedWithTheReasonOnTheErrorLine) {
  test::TTempDir folder;
  const test::TTestCertificates certificates =
      test::GenerateTestCertificates(folder.Path(), "other", "DNS:broker.example");
  test::TBrokerOptions options;
  options.Tls = test::TBrokerTls{certificates.CertFile, certificates.KeyFile, ""};
  test::TMosquittoBroker broker(options);
  broker.Start();
  const TToolRun run = RunTool({"--broker", "localhost", "--port", std::to_string(broker.TlsPort()), "--tls",
                                "--cafile", certificates.CAFile, "--topic", "pos/tls", "--raw", "x"});
  EXPECT_EQ(run.Result.ExitCode, 1) << run.Result.Output;
  EXPECT_EQ(run.Result.Output, "kestova-send: cannot connect to localhost:" + std::to_string(broker.TlsPort()) +
                                   ": csConnectionRejected_ServerUnavailable (TLS handshake with localhost:" +
                                   std::to_string(broker.TlsPort()) +
                                   " failed: certificate verification failed (hostname mismatch))\n");
}

}  // namespace
}  // namespace kestova::testing
