// [Mqtt] UseTLS against mosquitto's TLS listener with a CA of the test's own: a certificate that
// verifies, one that names another host (refused, and the log says why), and checks switched off.
#include <gtest/gtest.h>

#include "tests/app/displayd_fixture.h"
#include "tests/support/test_certificates.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

class DisplaydTlsTest : public ::testing::Test {
 protected:
  // A TLS broker whose certificate carries `names`.
  void StartBroker(const std::string& names) {
    FCertificates = GenerateTestCertificates(FCertDir.Path(), "broker", names);
    TBrokerOptions options;
    options.Tls = TBrokerTls{FCertificates.CertFile, FCertificates.KeyFile, ""};
    FBroker = std::make_unique<TMosquittoBroker>(options);
    FBroker->Start();
  }

  std::unique_ptr<TChildProcess> StartServer(const std::string& tlsLines) {
    // Broker=localhost: the name the certificate must carry.
    const std::string settings = FRun.Dir().WriteFile(
        "Settings.ini",
        "[Settings]\nDisplayMode=2\n[Mqtt]\nBroker=localhost\nPort=" + std::to_string(FBroker->TlsPort()) +
            "\nClientID=Display1\nTopics=t\nUseTLS=1\n" + tlsLines);
    return FRun.Start({"--settings", settings});
  }

  std::string Port() const { return std::to_string(FBroker->TlsPort()); }

  TTempDir FCertDir{"kestova-tls"};
  TTestCertificates FCertificates;
  std::unique_ptr<TMosquittoBroker> FBroker;
  TDisplaydRun FRun;
};

TEST_F(DisplaydTlsTest, ConnectsWhenTheBrokersCertificateVerifies) {
  StartBroker(kLoopbackNames);
  auto server = StartServer("CAFile=" + FCertificates.CAFile);
  ASSERT_TRUE(FRun.WaitForOutput("Subscribing to \"t\": Accepted")) << FRun.Output();
  EXPECT_NE(FRun.Output().find(": MQTT TLS on, port " + Port() +
                               ": the broker's certificate must name localhost and be trusted by " +
                               FCertificates.CAFile + " or the system's trust store\n"),
            std::string::npos)
      << FRun.Output();
}

TEST_F(DisplaydTlsTest, ACertificateForAnotherHostIsRefusedAndTheLogSaysWhy) {
  StartBroker("DNS:broker.example");
  auto server = StartServer("CAFile=" + FCertificates.CAFile);
  ASSERT_TRUE(FRun.WaitForOutput(": MQTT connection failed: TLS handshake with localhost:" + Port() +
                                 " failed: certificate verification failed (hostname mismatch)\n"))
      << FRun.Output();
  // The automatic attempts fail alike, and are not logged again.
  ASSERT_TRUE(FRun.WaitForOutput("Reconnecting...")) << FRun.Output();
  const std::string out = FRun.Output();
  EXPECT_NE(out.find(": Server unavailable.\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Subscribing to topics"), std::string::npos) << out;
}

TEST_F(DisplaydTlsTest, WithoutChecksItConnectsToAnyCertificateAndWarnsAtStart) {
  StartBroker("DNS:broker.example");  // neither trusted (no CAFile) nor naming localhost
  auto server = StartServer("TlsVerify=0");
  ASSERT_TRUE(FRun.WaitForOutput("Subscribing to \"t\": Accepted")) << FRun.Output();
  const std::string out = FRun.Output();
  EXPECT_NE(out.find(": MQTT TLS on, port " + Port() + ": the broker's certificate is not checked\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(": Warning: MQTT TLS without certificate and host-name checks (Mqtt.TlsVerify=0)"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace kestova::test
