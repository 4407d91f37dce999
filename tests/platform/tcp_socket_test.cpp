// The TCP socket against real loopback peers: exact bytes both ways, clear failures, deadlines
// that hold, and other threads releasing a blocked reader or writer without a race on the
// descriptor.
#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/full_backlog.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

using namespace std::chrono_literals;
using test::TFullBacklog;
using test::TLoopbackPeer;
using Clock = std::chrono::steady_clock;

constexpr auto Generous = 5s;  // catches hangs; never a measure of speed

std::unique_ptr<TTcpSocket> ConnectTo(TLoopbackPeer& peer, TAddressFamily family = TAddressFamily::afIPv4) {
  auto socket = std::make_unique<TTcpSocket>();
  socket->Connect(peer.Host(), peer.Port(), family, TDeadline::After(Generous));
  peer.Accept();
  return socket;
}

TEST(TcpSocketTest, CarriesExactBytesBothWaysAndReportsItsSteps) {
  TLoopbackPeer peer;
  TTcpSocket socket;
  std::vector<TSocketStatus> steps;
  std::string connectedTo;
  socket.OnStatus = [&](TSocketStatus status, const std::string& detail) {
    steps.push_back(status);
    if (status == TSocketStatus::ssConnected) connectedTo = detail;
  };
  socket.Connect("localhost", peer.Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
  peer.Accept();
  EXPECT_TRUE(socket.IsConnected());
  EXPECT_EQ(steps, (std::vector<TSocketStatus>{TSocketStatus::ssResolving, TSocketStatus::ssAllocated,
                                               TSocketStatus::ssConnecting, TSocketStatus::ssConnected}));
  EXPECT_EQ(connectedTo, "127.0.0.1");
  EXPECT_EQ(socket.PeerAddress(), "127.0.0.1");

  socket.WriteAll(std::string("\x10\x00hello", 7), TDeadline::After(Generous));
  EXPECT_EQ(peer.ReadExact(7), std::string("\x10\x00hello", 7));

  // Arrives in one segment, is taken out in pieces of every size.
  peer.Write(std::string("\x01\xff", 2) + "world!");
  EXPECT_EQ(socket.WaitForData(TDeadline::After(Generous)), TSocketWait::swData);
  EXPECT_EQ(socket.ReadByte(TDeadline::After(Generous)), 0x01);
  EXPECT_TRUE(socket.HasBufferedData());
  EXPECT_EQ(socket.ReadByte(TDeadline::After(Generous)), 0xff);
  char word[5];
  socket.ReadExact(word, sizeof word, TDeadline::After(Generous));
  EXPECT_EQ(std::string(word, 5), "world");
  char rest[16];
  EXPECT_EQ(socket.ReadSome(rest, sizeof rest, TDeadline::After(Generous)), 1u);
  EXPECT_EQ(rest[0], '!');
  EXPECT_FALSE(socket.HasBufferedData());
  // Nothing more: a zero-wait check says so without blocking.
  EXPECT_EQ(socket.WaitForData(TDeadline::Immediate()), TSocketWait::swTimeout);
}

// Reads the options back from the descriptor (valid here: no other thread uses the socket).
class TOptionProbe : public TTcpSocket {
 public:
  int Option(int level, int name) const {
    int value = -1;
    socklen_t length = sizeof value;
    ::getsockopt(Fd(), level, name, &value, &length);
    return value;
  }
};

TEST(TcpSocketTest, DeadPeerDetectionSetsTheKernelsKeepAliveAndUserTimeout) {
  TLoopbackPeer peer;
  TOptionProbe socket;
  socket.Connect(peer.Host(), peer.Port(), TAddressFamily::afIPv4, TDeadline::After(Generous));
  peer.Accept();
  EXPECT_EQ(socket.Option(SOL_SOCKET, SO_KEEPALIVE), 0);
  socket.SetDeadPeerDetection(30s, 10s, 3, 60s);
  EXPECT_EQ(socket.Option(SOL_SOCKET, SO_KEEPALIVE), 1);
  EXPECT_EQ(socket.Option(IPPROTO_TCP, TCP_KEEPIDLE), 30);
  EXPECT_EQ(socket.Option(IPPROTO_TCP, TCP_KEEPINTVL), 10);
  EXPECT_EQ(socket.Option(IPPROTO_TCP, TCP_KEEPCNT), 3);
  EXPECT_EQ(socket.Option(IPPROTO_TCP, TCP_USER_TIMEOUT), 60000);
}

TEST(TcpSocketTest, ConnectFailuresNameHostPortAndReason) {
  const std::uint16_t freePort = test::FreeLoopbackPort();
  const std::string port = std::to_string(freePort);
  struct TCase {
    std::string Host;
    TAddressFamily Family;
    bool Resolves;
    std::string Message;
  };
  const TCase cases[] = {
      {"127.0.0.1", TAddressFamily::afIPv4, true, "Could not connect to 127.0.0.1:" + port + ": Connection refused"},
      {"localhost", TAddressFamily::afUnspecified, true,
       "Could not connect to localhost:" + port + " (127.0.0.1): Connection refused"},
      {"::1", TAddressFamily::afIPv4, false, "Could not resolve the host name \"::1\" for IPv4: "},
      {"127.0.0.1", TAddressFamily::afIPv6, false, "Could not resolve the host name \"127.0.0.1\" for IPv6: "},
      {"", TAddressFamily::afIPv4, false, "No host name given to connect to (port " + port + ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Host);
    TTcpSocket socket;
    try {
      socket.Connect(c.Host, freePort, c.Family, TDeadline::After(Generous));
      ADD_FAILURE() << "connected";
    } catch (const EResolveError& e) {
      EXPECT_FALSE(c.Resolves) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(c.Message, 0), 0u) << e.what();
    } catch (const ESocketError& e) {
      EXPECT_TRUE(c.Resolves) << e.what();
      EXPECT_EQ(e.what(), c.Message);
      EXPECT_EQ(e.ErrorCode(), ECONNREFUSED);
    }
    EXPECT_FALSE(socket.IsConnected());
    // A failed socket is finished: it refuses to be used.
    char byte;
    EXPECT_THROW(socket.ReadExact(&byte, 1, TDeadline::Immediate()), ESocketError);
    EXPECT_THROW(socket.Connect("127.0.0.1", freePort, c.Family, TDeadline::Immediate()), ESocketError);
  }
}

TEST(TcpSocketTest, ConnectGivesUpAtItsDeadline) {
  TFullBacklog backlog;
  TTcpSocket socket;
  const auto start = Clock::now();
  EXPECT_EQ(ThrownMessage<ESocketTimeout>(
                [&] { socket.Connect("127.0.0.1", backlog.Port(), TAddressFamily::afIPv4, TDeadline::After(300ms)); }),
            "Connecting to 127.0.0.1:" + std::to_string(backlog.Port()) + " timed out");
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, 300ms);
  EXPECT_LT(elapsed, Generous);
}

TEST(TcpSocketTest, ShutdownFromAnotherThreadAbortsAConnectInProgress) {
  TFullBacklog backlog;
  TTcpSocket socket;
  std::promise<void> connecting;
  socket.OnStatus = [&](TSocketStatus status, const std::string&) {
    if (status == TSocketStatus::ssConnecting) connecting.set_value();
  };
  auto attempt = std::async(std::launch::async, [&] {
    socket.Connect("127.0.0.1", backlog.Port(), TAddressFamily::afIPv4, TDeadline::Never());
  });
  ASSERT_EQ(connecting.get_future().wait_for(Generous), std::future_status::ready);
  socket.Shutdown();
  ASSERT_EQ(attempt.wait_for(Generous), std::future_status::ready);
  EXPECT_THROW(attempt.get(), ESocketInterrupted);
  EXPECT_FALSE(socket.IsConnected());
}

TEST(TcpSocketTest, ReadsEndAtTheirDeadlineWithWhatArrived) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);
  peer.Write("ab");
  char data[4];
  const auto start = Clock::now();
  EXPECT_EQ(ThrownMessage<ESocketTimeout>([&] { socket->ReadExact(data, sizeof data, TDeadline::After(200ms)); }),
            "Reading from 127.0.0.1:" + std::to_string(peer.Port()) + " timed out after 2 of 4 bytes");
  EXPECT_GE(Clock::now() - start, 200ms);
  EXPECT_EQ(socket->WaitForData(TDeadline::After(50ms)), TSocketWait::swTimeout);
  // The connection is still usable after a timeout.
  peer.Write("c");
  EXPECT_EQ(socket->ReadByte(TDeadline::After(Generous)), 'c');
}

TEST(TcpSocketTest, PeerClosingIsSeenByWaitAndReads) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);
  peer.Write("xyz");
  peer.CloseClient();
  // What arrived before the end is still delivered, then the end is reported.
  char two[2];
  socket->ReadExact(two, 2, TDeadline::After(Generous));
  EXPECT_EQ(socket->WaitForData(TDeadline::Immediate()), TSocketWait::swData);
  EXPECT_THROW(socket->ReadExact(two, 2, TDeadline::After(Generous)), ESocketClosed);
  EXPECT_EQ(socket->WaitForData(TDeadline::Immediate()), TSocketWait::swClosed);
  EXPECT_EQ(socket->WaitForData(TDeadline::After(Generous)), TSocketWait::swClosed);
  EXPECT_THROW(socket->ReadByte(TDeadline::After(Generous)), ESocketClosed);
}

TEST(TcpSocketTest, WritingToAResetPeerFailsWithoutSigpipe) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);
  peer.ResetClient();
  const std::string block(64 * 1024, 'x');
  try {
    // The first write may still be accepted locally; the reset shows on the next ones.
    for (int i = 0; i < 100; ++i) socket->WriteAll(block, TDeadline::After(Generous));
    FAIL() << "writes to a reset connection succeeded";
  } catch (const ESocketError& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("Writing to 127.0.0.1:" + std::to_string(peer.Port()) + " failed: ", 0), 0u) << text;
    EXPECT_TRUE(e.ErrorCode() == ECONNRESET || e.ErrorCode() == EPIPE) << text;
  }
}

TEST(TcpSocketTest, WakeReleasesAWaitingReaderAndIsNotLost) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);

  // Signalled before anyone waits: the next wait returns at once.
  socket->Wake();
  EXPECT_EQ(socket->WaitForData(TDeadline::After(Generous)), TSocketWait::swWoken);

  // Signalled while another thread waits without limit.
  std::promise<void> started;
  auto reader = std::async(std::launch::async, [&] {
    started.set_value();
    return socket->WaitForData(TDeadline::Never());
  });
  started.get_future().wait();
  socket->Wake();
  ASSERT_EQ(reader.wait_for(Generous), std::future_status::ready);
  EXPECT_EQ(reader.get(), TSocketWait::swWoken);

  // A wake is consumed once; the connection is untouched by it.
  EXPECT_EQ(socket->WaitForData(TDeadline::Immediate()), TSocketWait::swTimeout);
  peer.Write("k");
  EXPECT_EQ(socket->ReadByte(TDeadline::After(Generous)), 'k');
}

TEST(TcpSocketTest, ShutdownReleasesABlockedReaderAndWriter) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);
  auto reader = std::async(std::launch::async, [&] {
    char byte;
    socket->ReadExact(&byte, 1, TDeadline::Never());
  });
  // The peer reads nothing, so this fills every buffer on the way and blocks.
  auto writer = std::async(std::launch::async, [&] {
    const std::string block(1 << 20, 'w');
    for (;;) socket->WriteAll(block, TDeadline::Never());
  });
  EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout);
  socket->Shutdown();
  ASSERT_EQ(reader.wait_for(Generous), std::future_status::ready);
  ASSERT_EQ(writer.wait_for(Generous), std::future_status::ready);
  EXPECT_THROW(reader.get(), ESocketInterrupted);
  EXPECT_THROW(writer.get(), ESocketInterrupted);
  EXPECT_TRUE(socket->IsShutDown());
  // Later calls fail at once, also waits.
  EXPECT_THROW(socket->WaitForData(TDeadline::Never()), ESocketInterrupted);
  EXPECT_THROW(socket->WriteAll("x", TDeadline::Never()), ESocketInterrupted);
  // The peer sees the end of the stream after the bytes that got through.
  EXPECT_NO_THROW(peer.ReadUntilClosed());
}

// Close while another thread waits: the waiter must leave with "shut down", never trip over a
// descriptor closed under it (EBADF, or worse a reused number); ThreadSanitizer sees a race on
// the descriptor if Close did not wait for it.
TEST(TcpSocketTest, CloseFromAnotherThreadReleasesTheReaderBeforeClosing) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);
  auto reader = std::async(std::launch::async, [&]() -> std::string {
    try {
      for (;;) socket->WaitForData(TDeadline::Never());
    } catch (const ESocketInterrupted& e) {
      return e.what();
    }
  });
  EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout);
  socket->Close();
  ASSERT_EQ(reader.wait_for(Generous), std::future_status::ready);
  EXPECT_EQ(reader.get(), "The connection to 127.0.0.1:" + std::to_string(peer.Port()) + " was shut down");
  EXPECT_FALSE(socket->IsConnected());
  EXPECT_EQ(peer.ReadUntilClosed(), "");
  socket->Close();  // idempotent
}

TEST(TcpSocketTest, MegabytesBothWaysAtOnce) {
  TLoopbackPeer peer;
  auto socket = ConnectTo(peer);
  constexpr std::size_t Size = 4 << 20;
  std::string sent(Size, '\0');
  for (std::size_t i = 0; i < Size; ++i) sent[i] = static_cast<char>(i * 131 + i / 977);
  // The peer takes everything, then echoes it back.
  peer.RunAsync([&](TLoopbackPeer& p) { p.Write(p.ReadExact(Size, 30s), 30s); });

  auto writer = std::async(std::launch::async, [&] {
    for (std::size_t at = 0; at < Size; at += 100000)
      socket->WriteAll(sent.data() + at, std::min<std::size_t>(100000, Size - at), TDeadline::After(30s));
  });
  // Pieces below, at and above the buffer size, through every read form.
  std::string received;
  const std::size_t pieces[] = {1, 3, 16 * 1024, 16 * 1024 + 1, 70000, 5};
  for (std::size_t k = 0; received.size() < Size; ++k) {
    const std::size_t want = std::min(pieces[k % std::size(pieces)], Size - received.size());
    std::string piece(want, '\0');
    if (k % 3 == 0) {
      socket->ReadExact(piece.data(), want, TDeadline::After(30s));
    } else if (want == 1) {
      piece[0] = static_cast<char>(socket->ReadByte(TDeadline::After(30s)));
    } else {
      piece.resize(socket->ReadSome(piece.data(), want, TDeadline::After(30s)));
    }
    received += piece;
  }
  writer.get();
  peer.Join();
  EXPECT_TRUE(received == sent);
}

TEST(TcpSocketTest, IPv6Loopback) {
  if (!test::IPv6LoopbackAvailable()) GTEST_SKIP() << "no ::1 on this machine";
  TLoopbackPeer peer(true);
  auto socket = ConnectTo(peer, TAddressFamily::afIPv6);
  EXPECT_EQ(socket->PeerAddress(), "::1");
  socket->WriteAll("v6", TDeadline::After(Generous));
  EXPECT_EQ(peer.ReadExact(2), "v6");

  const std::uint16_t freePort = test::FreeLoopbackPort(true);
  TTcpSocket refused;
  EXPECT_EQ(ThrownMessage<ESocketError>(
                [&] { refused.Connect("::1", freePort, TAddressFamily::afIPv6, TDeadline::After(Generous)); }),
            "Could not connect to [::1]:" + std::to_string(freePort) + ": Connection refused");
}

TEST(TcpSocketTest, ShutdownBeforeConnectRefusesToConnect) {
  TLoopbackPeer peer;
  TTcpSocket socket;
  socket.Shutdown();
  EXPECT_THROW(socket.Connect(peer.Host(), peer.Port(), TAddressFamily::afIPv4, TDeadline::After(Generous)),
               ESocketInterrupted);
}

}  // namespace
}  // namespace kestova
