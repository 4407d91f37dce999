// The line-command client against a real loopback peer (the fake reader): line framing and
// decoding, the hook and handler dispatch, exact written bytes, Disconnect releasing the
// listening thread, the line limit, and the connect errors.
#include "rfid/cmd_tcp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/fake_reader.h"
#include "tests/support/full_backlog.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/thread_names.h"
#include "tests/support/thrown_message.h"

namespace kestova::testing {
namespace {

// Generous bound for waits that should end quickly; it catches hangs, it measures nothing.
constexpr std::chrono::milliseconds kGenerous{10000};
constexpr const char* kListenerThread = "cmd-listener";

// A client aimed at the fake reader, with what its events saw (from whichever thread).
class TSession {
 public:
  explicit TSession(const test::TFakeReader& reader) : FClient(std::make_unique<TCmdTCPClient>()), client(*FClient) {
    client.SetHost(reader.Host());
    client.SetPort(reader.Port());
    client.SetConnectTimeout(5000);
    client.OnConnected = [this](TCmdTCPClient&) { Note("connected"); };
    client.OnDisconnected = [this](TCmdTCPClient&) { Note("disconnected"); };
    client.OnBeforeCommandHandler = [this](TCmdTCPClient&, std::string& data, TCmdContext&) {
      Note("line " + data);
      if (Rewrite) Rewrite(data);
    };
    client.OnAfterCommandHandler = [this](TCmdTCPClient&, TCmdContext&) { Note("after"); };
    client.OnListenerEnded = [this](TCmdTCPClient&, const std::string& reason) { Note("ended " + reason); };
  }

  void Note(const std::string& event) {
    {
      std::lock_guard lock(FLock);
      FSeen.push_back(event);
    }
    FChanged.notify_all();
  }
  std::vector<std::string> Seen() const {
    std::lock_guard lock(FLock);
    return FSeen;
  }
  int Count(const std::string& event) const {
    const auto seen = Seen();
    return static_cast<int>(std::count(seen.begin(), seen.end(), event));
  }
  // Wait until an event that starts with `start` has been noted.
  bool WaitFor(const std::string& start) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, kGenerous, [&] {
      return std::any_of(FSeen.begin(), FSeen.end(), [&](const std::string& e) { return e.rfind(start, 0) == 0; });
    });
  }
  // The lines the hook saw, without the closing "END".
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const std::string& event : Seen())
      if (event.rfind("line ", 0) == 0 && event != "line END") lines.push_back(event.substr(5));
    return lines;
  }

  // Destroy the client (before the record it reports to).
  void DestroyClient() { FClient.reset(); }

  std::function<void(std::string&)> Rewrite;  // runs in the hook after the noting

 private:
  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  std::vector<std::string> FSeen;
  std::unique_ptr<TCmdTCPClient> FClient;  // declared last: it goes first

 public:
  TCmdTCPClient& client;
};

class CmdTcpClientTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(test::CountThreadsNamed(kListenerThread), 0); }

  // Connect, let the reader send `bytes` and then the line "END", wait until the hook has seen
  // "END", and disconnect. What the client wrote back, as the reader received it.
  std::string Exchange(TSession& session, const std::string& bytes) {
    session.client.Connect();
    EXPECT_TRUE(FReader.WaitForAccepted(1));
    FReader.Write(0, bytes + "END\n");
    EXPECT_TRUE(session.WaitFor("line END"));
    session.client.Disconnect(false);
    const std::vector<std::string> written = FReader.ReceivedBeforeKnock();
    EXPECT_EQ(written.size(), 1u);
    return written.empty() ? "" : written[0];
  }

  test::TFakeReader FReader;
};

// Connected, then disconnected once and the listening thread ended once (on their two threads,
// in either order).
void ExpectClosedOnce(const TSession& session) {
  const std::vector<std::string> seen = session.Seen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "connected");
  EXPECT_EQ(session.Count("disconnected"), 1);
  EXPECT_EQ(session.Count("ended "), 1) << "told to stop, so no reason";
}

struct TFramingCase {
  const char* Name;
  std::string Sent;
  std::vector<std::string> Lines;
};

TEST_F(CmdTcpClientTest, LinesReachTheHookInOrderAndNothingIsWrittenBackWithoutHandlers) {
  const std::string longest(TCmdIOHandler::kMaxLineLength, 'x');
  const TFramingCase cases[] = {
      {"CR LF and LF", "abc\r\ndef\n", {"abc", "def"}},
      {"only the CR right before the LF goes", "a\r\rb\r\n\n", {"a\r\rb", ""}},
      {"bytes above 127",
       "l\xE9\xFF"
       "1\n",
       {"l\xEF\xBF\xBD\xEF\xBF\xBD"
        "1"}},
      {"the longest line, with CR LF", longest + "\r\n", {longest}},
  };
  for (const TFramingCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSession session(FReader);
    EXPECT_EQ(Exchange(session, c.Sent), "");
    EXPECT_EQ(session.Lines(), c.Lines);
  }
}

TEST_F(CmdTcpClientTest, TheHookRunsBeforeAnyHandlerAndMayChangeTheLine) {
  TSession session(FReader);
  TCmdHandler& open = session.client.CommandHandlers().Add();
  open.Command = "OPEN";
  open.OnCommand = [&](TCmdExecution& command) { session.Note("OPEN " + command.Params().CommaText()); };
  session.Rewrite = [](std::string& data) {
    if (data == "knock") data = "open 7";
  };
  EXPECT_EQ(Exchange(session, "knock\n"), "200\r\n");
  // (What follows "line END" races with the disconnection.)
  const std::vector<std::string> expected = {"connected", "line knock", "OPEN 7", "after", "line END"};
  std::vector<std::string> seen = session.Seen();
  seen.resize(expected.size());
  EXPECT_EQ(seen, expected);
}

struct THandlerCase {
  const char* Line;
  bool Taken;
  std::string Params;  // comma text of the parsed parameters
};

TEST_F(CmdTcpClientTest, AHandlerTakesItsCommandWordInAnyCaseWithItsParameters) {
  TSession session(FReader);
  TCmdHandler& open = session.client.CommandHandlers().Add();
  open.Command = "OPEN";
  open.OnCommand = [&](TCmdExecution& command) { session.Note("took " + command.Params().CommaText()); };
  TCmdHandler& list = session.client.CommandHandlers().Add();
  list.Command = "LIST";
  list.ParamDelimiter = ',';
  list.Response.Add("one");
  list.OnCommand = [&](TCmdExecution& command) { session.Note("took " + command.Params().CommaText()); };
  TCmdHandler& fail = session.client.CommandHandlers().Add();
  fail.Command = "FAIL";
  fail.OnCommand = [](TCmdExecution&) { throw Exception("boom"); };

  const THandlerCase cases[] = {
      {"open 1 2", true, "1,2"},      {"OPEN", true, ""},      {"OPENX", false, ""}, {"Open  a   b ", true, "a,b"},
      {"list  x , ,y ", true, "x,y"}, {"FAIL now", false, ""},
  };
  std::string sent;
  for (const THandlerCase& c : cases) sent += std::string(c.Line) + "\n";
  const std::string written = Exchange(session, sent);

  std::vector<std::string> took;
  for (const std::string& event : session.Seen())
    if (event.rfind("took ", 0) == 0) took.push_back(event.substr(5));
  std::vector<std::string> expectedTook;
  for (const THandlerCase& c : cases)
    if (c.Taken) expectedTook.push_back(c.Params);
  EXPECT_EQ(took, expectedTook);
  // Four normal replies, the LIST response, and the failure turned into the exception reply.
  EXPECT_EQ(written, "200\r\n200\r\n200\r\n200\r\none\r\n500-Unknown Internal Error\r\n500 boom\r\n");
}

TEST_F(CmdTcpClientTest, WritingSendsTheTextAsAsciiAndNothingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"W1", "\x57\x31"}, {"a\xC3\xA9z\xFF", "a?z?"}, {"l\r\n", "l\r\n"}};
  for (const auto& [text, bytes] : cases) {
    TSession session(FReader);
    session.client.Connect();
    session.client.Write(text);
    session.client.Disconnect(false);
    EXPECT_EQ(FReader.ReceivedBeforeKnock(), std::vector<std::string>{bytes}) << text;
  }
  TSession idle(FReader);
  EXPECT_THROW(idle.client.Write("W1"), Exception) << "not connected";
}

TEST_F(CmdTcpClientTest, DisconnectReleasesTheWaitingReadAndNotifiesOnce) {
  TSession session(FReader);
  session.client.Connect();
  ASSERT_TRUE(FReader.WaitForAccepted(1));
  EXPECT_TRUE(session.client.Connected());

  session.client.Disconnect(true);
  EXPECT_FALSE(session.client.Connected());
  EXPECT_EQ(test::CountThreadsNamed(kListenerThread), 0);
  session.client.Disconnect(true);
  ExpectClosedOnce(session);
  EXPECT_EQ(FReader.ReceivedBeforeKnock(), std::vector<std::string>{""});
}

TEST_F(CmdTcpClientTest, TheEndOfTheConnectionOrAnOverlongLineEndsTheListeningThread) {
  struct TEndCase {
    const char* Name;
    std::string Sent;
    bool HangUp;
    std::string Ended;    // the reason OnListenerEnded was given
    bool StillConnected;  // Connected() afterwards
  };
  const std::string port = std::to_string(FReader.Port());
  const TEndCase cases[] = {
      {"a line without its line feed past the limit", std::string(TCmdIOHandler::kMaxLineLength + 1, 'x') + "y\nlate\n",
       false, "Max line length exceeded.", true},
      {"the peer hanging up", "last\n", true, "Connection to 127.0.0.1:" + port + " closed by the peer", false},
  };
  for (const TEndCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSession session(FReader);
    session.client.Connect();
    ASSERT_TRUE(FReader.WaitForAccepted(1));
    FReader.Write(0, c.Sent, c.HangUp);
    ASSERT_TRUE(session.WaitFor("ended "));
    std::vector<std::string> expected = {"connected"};
    if (c.HangUp) expected.insert(expected.end(), {"line last", "after"});
    expected.push_back("ended " + c.Ended);
    EXPECT_EQ(session.Seen(), expected);
    EXPECT_EQ(session.client.Connected(), c.StillConnected);
    session.client.Disconnect(false);
    EXPECT_EQ(session.Count("disconnected"), 1);
    FReader.ReceivedBeforeKnock();
  }
}

TEST_F(CmdTcpClientTest, ConnectFailsBeforeTryingOrWhenThePeerCannotBeReached) {
  const uint16_t refusing = test::FreeLoopbackPort();
  test::TFullBacklog silent;
  struct TConnectCase {
    const char* Name;
    std::string Host;
    uint16_t Port;
    std::string Message;  // the start of the error's message
  };
  const TConnectCase cases[] = {
      {"no host", "", FReader.Port(), "A Host is required"},
      {"no port", "127.0.0.1", 0, "A Port is required"},
      {"refused", "127.0.0.1", refusing, "Could not connect to 127.0.0.1:" + std::to_string(refusing)},
      {"time limit", "127.0.0.1", silent.Port(),
       "Connecting to 127.0.0.1:" + std::to_string(silent.Port()) + " timed out"},
  };
  for (const TConnectCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSession session(FReader);
    session.client.SetHost(c.Host);
    session.client.SetPort(c.Port);
    session.client.SetConnectTimeout(300);
    EXPECT_THAT(test::ThrownMessage<Exception>([&] { session.client.Connect(); }), ::testing::StartsWith(c.Message));
    EXPECT_FALSE(session.client.Connected());
    EXPECT_TRUE(session.Seen().empty());
    EXPECT_EQ(test::CountThreadsNamed(kListenerThread), 0);
  }

  TSession session(FReader);
  session.client.Connect();
  EXPECT_EQ(test::ThrownMessage<Exception>([&] { session.client.Connect(); }), "Already connected.");
  EXPECT_TRUE(session.client.Connected());
}

TEST_F(CmdTcpClientTest, DestroyingAConnectedClientDisconnectsItAndEndsItsThread) {
  TSession session(FReader);
  session.client.Connect();
  ASSERT_TRUE(FReader.WaitForAccepted(1));
  session.DestroyClient();
  EXPECT_EQ(test::CountThreadsNamed(kListenerThread), 0);
  ExpectClosedOnce(session);
  EXPECT_EQ(FReader.ReceivedBeforeKnock(), std::vector<std::string>{""});
}

}  // namespace
}  // namespace kestova::testing
