// TLS against mosquitto's TLS listener with a certificate this test makes: verification must
// pass with the test CA, fail without it or on a wrong name, and be skippable on request; the
// session must carry MQTT bytes both ways, from two threads at once, and release blocked
// threads like the plain socket.
#include "platform/tls_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>

#include "tests/support/hex.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

using namespace std::chrono_literals;
using test::FromHex;
using test::ToHex;

constexpr auto Generous = 10s;

// MQTT 3.1.1 CONNECT with an empty client identifier and a clean session, keep-alive 60 s,
// and the broker's CONNACK accepting it.
const std::string Connect = FromHex("10 0c 00 04 4d 51 54 54 04 02 00 3c 00 00");
const std::string ConnAck = FromHex("20 02 00 00");

class TlsStreamTest : public testing::Test {
 protected:
  void SetUp() override {
    FCertificates = test::GenerateTestCertificates(FDir.Path());
    test::TBrokerOptions options;
    options.Tls = test::TBrokerTls{FCertificates.CertFile, FCertificates.KeyFile, FCertificates.CAFile};
    FBroker.emplace(options);
    FBroker->Start();
  }

  std::uint16_t Port() const { return FBroker->TlsPort(); }
  std::string Where() const { return "127.0.0.1:" + std::to_string(Port()); }

  TTlsOptions Trusting() const {
    TTlsOptions options;
    options.CAFile = FCertificates.CAFile;
    return options;
  }

  // The message of the error Connect raises (empty when it connects).
  std::string ConnectError(TTlsOptions options, const std::string& host = "127.0.0.1") {
    TTlsStream stream(std::move(options));
    try {
      stream.Connect(host, Port(), TAddressFamily::afUnspecified, TDeadline::After(Generous));
    } catch (const ETlsError& e) {
      EXPECT_FALSE(stream.IsConnected());
      return e.what();
    }
    return {};
  }

  void ExpectMqttSession(TTlsStream& stream) {
    stream.WriteAll(Connect, TDeadline::After(Generous));
    std::string reply(ConnAck.size(), '\0');
    stream.ReadExact(reply.data(), reply.size(), TDeadline::After(Generous));
    EXPECT_EQ(ToHex(reply), ToHex(ConnAck)) << FBroker->Log();
  }

  test::TTempDir FDir;
  test::TTestCertificates FCertificates;
  std::optional<test::TMosquittoBroker> FBroker;
};

TEST_F(TlsStreamTest, VerifiesTheBrokerWithTheTestCA) {
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    TTlsStream stream(Trusting());
    std::vector<TSocketStatus> steps;
    stream.OnStatus = [&](TSocketStatus status, const std::string&) { steps.push_back(status); };
    stream.Connect(host, Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
    EXPECT_TRUE(stream.IsConnected());
    EXPECT_EQ(steps.back(), TSocketStatus::ssConnected);
    EXPECT_EQ(steps[steps.size() - 2], TSocketStatus::ssHandshaking);
    EXPECT_EQ(stream.Protocol().rfind("TLSv1.", 0), 0u) << stream.Protocol();
    ExpectMqttSession(stream);
  }
}

TEST_F(TlsStreamTest, RefusesWhatItCannotVerify) {
  struct TCase {
    const char* Name;
    TTlsOptions Options;
    std::string Host;
    std::string Reason;
  };
  TTlsOptions wrongName = Trusting();
  wrongName.ServerName = "broker.example";
  TTlsOptions wrongAddress = Trusting();
  wrongAddress.ServerName = "127.0.0.2";
  const TCase cases[] = {
      {"system trust store only", TTlsOptions{}, "127.0.0.1", "certificate verification failed ("},
      {"host name mismatch", wrongName, "127.0.0.1", "certificate verification failed (hostname mismatch)"},
      {"address mismatch", wrongAddress, "127.0.0.1", "certificate verification failed (IP address mismatch)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string error = ConnectError(c.Options, c.Host);
    EXPECT_EQ(error.rfind("TLS handshake with " + Where() + " failed: " + c.Reason, 0), 0u) << error;
  }
}

TEST_F(TlsStreamTest, VerificationCanBeTurnedOffForTestBrokers) {
  TTlsOptions options;
  options.VerifyPeer = false;
  options.ServerName = "not.the.certificate.name";
  TTlsStream stream(options);
  stream.Connect("127.0.0.1", Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
  ExpectMqttSession(stream);
}

TEST_F(TlsStreamTest, AMissingCAFileIsReported) {
  TTlsOptions options;
  options.CAFile = FDir.File("absent.pem");
  const std::string error = ConnectError(options);
  EXPECT_EQ(error.rfind(
                "TLS handshake with " + Where() + " failed: could not load the CA file \"" + options.CAFile + "\"", 0),
            0u)
      << error;
}

TEST_F(TlsStreamTest, APlainServerFailsTheHandshakeAndASilentOneTimesOut) {
  // The broker's plain listener reads our hello as a broken MQTT packet and hangs up.
  {
    TTlsStream stream(Trusting());
    EXPECT_THROW(stream.Connect("127.0.0.1", FBroker->Port(), TAddressFamily::afIPv4, TDeadline::After(Generous)),
                 ETlsError);
  }
  // A peer that accepts and never answers: the handshake ends at the deadline.
  test::TLoopbackPeer silent;
  TTlsStream stream(Trusting());
  EXPECT_EQ(ThrownMessage<ESocketTimeout>(
                [&] { stream.Connect(silent.Host(), silent.Port(), TAddressFamily::afIPv4, TDeadline::After(300ms)); }),
            "TLS handshake with 127.0.0.1:" + std::to_string(silent.Port()) + " timed out");
}

TEST_F(TlsStreamTest, ReadsAndWritesFromTwoThreadsAtOnce) {
  TTlsStream stream(Trusting());
  stream.Connect("127.0.0.1", Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
  ExpectMqttSession(stream);
  // SUBSCRIBE to "t" at QoS 0 and its SUBACK.
  stream.WriteAll(FromHex("82 06 00 01 00 01 74 00"), TDeadline::After(Generous));
  std::string subAck(5, '\0');
  stream.ReadExact(subAck.data(), subAck.size(), TDeadline::After(Generous));
  ASSERT_EQ(ToHex(subAck), "90 03 00 01 00");

  // One thread publishes to "t" while this one reads the broker's copies.
  const std::string publish = FromHex("30 0d 00 01 74") + "0123456789";
  constexpr int Count = 300;
  auto writer = std::async(std::launch::async, [&] {
    for (int i = 0; i < Count; ++i) stream.WriteAll(publish, TDeadline::After(Generous));
  });
  std::string received(publish.size() * Count, '\0');
  for (std::size_t at = 0; at < received.size();) {
    ASSERT_EQ(stream.WaitForData(TDeadline::After(Generous)), TSocketWait::swData);
    at += stream.ReadSome(received.data() + at, received.size() - at, TDeadline::After(Generous));
  }
  writer.get();
  std::string expected;
  for (int i = 0; i < Count; ++i) expected += publish;
  EXPECT_TRUE(received == expected);
}

TEST_F(TlsStreamTest, WakeShutdownAndCloseReleaseBlockedThreads) {
  TTlsStream stream(Trusting());
  stream.Connect("127.0.0.1", Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
  ExpectMqttSession(stream);

  auto waiter = std::async(std::launch::async, [&] { return stream.WaitForData(TDeadline::Never()); });
  EXPECT_EQ(waiter.wait_for(100ms), std::future_status::timeout);
  stream.Wake();
  ASSERT_EQ(waiter.wait_for(Generous), std::future_status::ready);
  EXPECT_EQ(waiter.get(), TSocketWait::swWoken);

  auto reader = std::async(std::launch::async, [&] {
    char byte;
    stream.ReadExact(&byte, 1, TDeadline::Never());
  });
  EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout);
  stream.Close();
  ASSERT_EQ(reader.wait_for(Generous), std::future_status::ready);
  EXPECT_THROW(reader.get(), ESocketInterrupted);
  EXPECT_FALSE(stream.IsConnected());
}

TEST_F(TlsStreamTest, ABrokerGoingAwayIsAnOrdinaryEnd) {
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    TTlsStream stream(Trusting());
    stream.Connect("127.0.0.1", Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
    ExpectMqttSession(stream);
    FBroker->Stop(signal);
    EXPECT_EQ(stream.WaitForData(TDeadline::After(Generous)), TSocketWait::swClosed);
    FBroker->Start();
  }
}

}  // namespace
}  // namespace kestova
