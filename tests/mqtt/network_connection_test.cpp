// The MQTT transport against loopback peers: nothing happens while it is not open, every way
// down is reported exactly once (on the thread that found it), a connection the peer closed
// can be opened again, and the connect and read time-outs hold.
#include "mqtt/network_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/mqtt/client_test_support.h"
#include "tests/support/loopback_peer.h"

namespace kestova::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct TDownReport {
  uint64_t ConnectionId;
  std::thread::id Thread;
};

// A transport aimed at a loopback peer, recording its notifications and log.
struct TTransport {
  explicit TTransport(uint16_t APort) : Connection(&Log) {
    Connection.SetHostName("127.0.0.1");
    Connection.SetPort(APort);
    Connection.OnConnected = [this](TMqttNetworkConnection&, uint64_t AId) { Up.push_back(AId); };
    Connection.OnDisconnected = [this](TMqttNetworkConnection&, uint64_t AId) {
      Down.push_back({AId, std::this_thread::get_id()});
    };
  }
  TRecordingLogger Log;
  TMqttNetworkConnection Connection;
  std::vector<uint64_t> Up;
  std::vector<TDownReport> Down;  // written by one thread at a time in these tests
};

TEST(NetworkConnectionTest, DoesNothingWhileNotOpen) {
  test::TLoopbackPeer peer;
  TTransport transport(peer.Port());
  EXPECT_FALSE(transport.Connection.IsReady());
  transport.Connection.Write(HexBytes("C0 00"));  // dropped, no error
  uint8_t byte = 0x5A;
  transport.Connection.Read(byte);
  EXPECT_EQ(byte, 0x5A);
  TMqttBytes data = HexBytes("01 02");
  transport.Connection.Read(data, 4, true);
  EXPECT_EQ(data, HexBytes("01 02"));
  EXPECT_FALSE(transport.Connection.HasData());
  transport.Connection.Close();  // nothing to close: no notification
  EXPECT_TRUE(transport.Down.empty());

  transport.Connection.Open();
  peer.Accept();
  transport.Connection.Close();
  transport.Connection.Write(HexBytes("C0 00"));  // after Close: dropped again
  EXPECT_EQ(peer.ReadUntilClosed(), "");
}

TEST(NetworkConnectionTest, PeerCloseIsReportedOnceOnTheReadingThreadAndOpenConnectsAgain) {
  test::TLoopbackPeer peer;
  TTransport transport(peer.Port());
  transport.Connection.Open();
  peer.Accept();
  ASSERT_TRUE(transport.Connection.IsReady());
  ASSERT_EQ(transport.Up.size(), 1u);
  EXPECT_EQ(transport.Log.Count("Connection opened"), 1);

  peer.Write("\xD0");
  peer.CloseClient();
  std::thread reader([&] {
    // The byte first, then the end.
    const auto deadline = Clock::now() + kGenerous;
    while (!transport.Connection.HasData() && Clock::now() < deadline) {
      transport.Connection.WaitForData(TDeadline::After(std::chrono::milliseconds(100)));
    }
    uint8_t byte = 0;
    transport.Connection.Read(byte);
    EXPECT_EQ(byte, 0xD0);
    EXPECT_EQ(transport.Connection.WaitForData(TDeadline::After(kGenerous)), TMqttTransportWait::twDown);
    EXPECT_FALSE(transport.Connection.HasData());
    EXPECT_FALSE(transport.Connection.HasData());
  });
  const std::thread::id readerId = reader.get_id();
  reader.join();
  ASSERT_EQ(transport.Down.size(), 1u);
  EXPECT_EQ(transport.Down[0].ConnectionId, transport.Up[0]);
  EXPECT_EQ(transport.Down[0].Thread, readerId);
  EXPECT_FALSE(transport.Connection.IsReady());
  EXPECT_EQ(transport.Log.Count("Connection closed by remote host"), 1);

  // Down, then open again: a new connection with a new identifier.
  transport.Connection.Open();
  peer.Accept();
  ASSERT_TRUE(transport.Connection.IsReady());
  ASSERT_EQ(transport.Up.size(), 2u);
  EXPECT_NE(transport.Up[1], transport.Up[0]);
  transport.Connection.Write(HexBytes("C0 00"));
  EXPECT_EQ(peer.ReadExact(2), std::string("\xC0\x00", 2));
  EXPECT_EQ(transport.Down.size(), 1u);
}

TEST(NetworkConnectionTest, CloseOfAnOpenConnectionReportsBeforeItReturns) {
  test::TLoopbackPeer peer;
  TTransport transport(peer.Port());
  transport.Connection.Open();
  peer.Accept();
  transport.Connection.Close();
  ASSERT_EQ(transport.Down.size(), 1u);
  EXPECT_EQ(transport.Down[0].Thread, std::this_thread::get_id());
  EXPECT_FALSE(transport.Connection.IsReady());
  EXPECT_EQ(transport.Connection.ConnectionId(), 0u);
  transport.Connection.Close();
  EXPECT_EQ(transport.Down.size(), 1u);
  EXPECT_EQ(peer.ReadUntilClosed(), "");
  const std::vector<std::string> expected = {"Initializing TCP Client",         "Socket allocated ... ",
                                             "TTcpSocket - connecting...",      "Connection opened",
                                             "TTcpSocket - connected...",       "Disconnecting TCP Client",
                                             "TTcpSocket - disconnecting...",   "TTcpSocket - disconnected .. .",
                                             "Connection closed by remote host"};
  std::vector<std::string> lines = transport.Log.Lines();
  // Resolving is reported before the socket is allocated; its text names the socket class too.
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Connecting TCP Client");
  EXPECT_EQ(lines[2], "TTcpSocket - resolving...");
  lines.erase(lines.begin() + 1, lines.begin() + 3);
  EXPECT_EQ(lines, expected);
}

TEST(NetworkConnectionTest, AFailedWriteShutsTheConnectionAndTheReaderReportsIt) {
  test::TLoopbackPeer peer;
  TTransport transport(peer.Port());
  transport.Connection.Open();
  peer.Accept();
  peer.ResetClient();
  // The first write after a reset may still be taken by the kernel; a later one fails.
  bool failed = false;
  for (int i = 0; i < 50 && !failed; ++i) {
    try {
      transport.Connection.Write(TMqttBytes(1024, 0x30));
    } catch (const std::exception&) {
      failed = true;
    }
  }
  ASSERT_TRUE(failed);
  EXPECT_TRUE(transport.Down.empty());
  EXPECT_EQ(transport.Connection.WaitForData(TDeadline::After(kGenerous)), TMqttTransportWait::twDown);
  EXPECT_EQ(transport.Down.size(), 1u);
  EXPECT_FALSE(transport.Connection.IsReady());
}

TEST(NetworkConnectionTest, WakeReaderReleasesAWaitAndIsNotLost) {
  test::TLoopbackPeer peer;
  TTransport transport(peer.Port());
  transport.Connection.Open();
  peer.Accept();
  transport.Connection.WakeReader();  // before the wait: the wait returns at once
  EXPECT_EQ(transport.Connection.WaitForData(TDeadline::After(kGenerous)), TMqttTransportWait::twWoken);
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    transport.Connection.WakeReader();
  });
  EXPECT_EQ(transport.Connection.WaitForData(TDeadline::After(kGenerous)), TMqttTransportWait::twWoken);
  waker.join();
  EXPECT_EQ(transport.Connection.WaitForData(TDeadline::After(std::chrono::milliseconds(20))),
            TMqttTransportWait::twTimeout);
}

TEST(NetworkConnectionTest, OpenGivesUpAfterFiveSecondsAgainstAPeerThatDoesNotAnswer) {
  TFullBacklog silent;
  TTransport transport(silent.Port());
  const auto start = Clock::now();
  EXPECT_THROW(transport.Connection.Open(), ESocketTimeout);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(4900));
  EXPECT_LT(took, std::chrono::seconds(15));
  EXPECT_FALSE(transport.Connection.IsReady());
  EXPECT_EQ(transport.Connection.ConnectionId(), 0u);
  EXPECT_EQ(transport.Log.Count("Exception while connecting ..."), 1);
  EXPECT_TRUE(transport.Up.empty());
  EXPECT_TRUE(transport.Down.empty());
}

TEST(NetworkConnectionTest, AMultiByteReadWithTooFewBytesFailsAfterFiveSeconds) {
  test::TLoopbackPeer peer;
  TTransport transport(peer.Port());
  transport.Connection.Open();
  peer.Accept();
  peer.Write("abc");
  TMqttBytes data;
  const auto start = Clock::now();
  EXPECT_THROW(transport.Connection.Read(data, 10, false), ESocketTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(4900));
  EXPECT_EQ(transport.Connection.ReadTimeout(), TMqttNetworkConnection::kReadTimeout);
  // A time-out is the caller's to handle; the connection itself stays up.
  EXPECT_TRUE(transport.Connection.IsReady());
}

TEST(NetworkConnectionTest, RefusedAndInvalidTargetsFailWithTheirReason) {
  struct TCase {
    const char* Name;
    std::string Host;
    int32_t Port;
    TMqttIPVersion Version;
  };
  const std::vector<TCase> cases = {
      {"refused", "127.0.0.1", test::FreeLoopbackPort(), TMqttIPVersion::ipV4},
      {"port out of range", "127.0.0.1", 70000, TMqttIPVersion::ipV4},
      {"IPv4 address asked for as IPv6", "127.0.0.1", 1883, TMqttIPVersion::ipV6},
      {"empty host", "", 1883, TMqttIPVersion::ipV4},
  };
  for (const TCase& c : cases) {
    TRecordingLogger log;
    TMqttNetworkConnection connection(&log);
    connection.SetHostName(c.Host);
    connection.SetPort(c.Port);
    connection.SetIPVersion(c.Version);
    EXPECT_THROW(connection.Open(), ESocketError) << c.Name;
    EXPECT_FALSE(connection.IsReady()) << c.Name;
    EXPECT_EQ(log.Count("Exception while connecting ..."), 1) << c.Name;
  }
}

TEST(NetworkConnectionTest, ConnectsOverIPv6) {
  if (!test::IPv6LoopbackAvailable()) GTEST_SKIP() << "no ::1 here";
  test::TLoopbackPeer peer(true);
  TRecordingLogger log;
  TMqttNetworkConnection connection(&log);
  connection.SetHostName("::1");
  connection.SetPort(peer.Port());
  connection.SetIPVersion(TMqttIPVersion::ipV6);
  connection.Open();
  peer.Accept();
  connection.Write(HexBytes("E0 00"));
  EXPECT_EQ(peer.ReadExact(2), std::string("\xE0\x00", 2));
}

}  // namespace
}  // namespace kestova::testing
