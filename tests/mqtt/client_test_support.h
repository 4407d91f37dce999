#pragma once
// Helpers for the tests of the MQTT transport, worker threads and client: pumping the main
// thread while a test waits, recording a client's events (with the thread each ran on) and
// its library log, and a scripted fake broker on loopback for exact-byte conversations.
//
// The gtest thread is the main thread of the hand-over (TMainThreadTest binds it). A test that
// waits for events pumps it with PumpUntil, which blocks on the hand-over's wake-up and on the
// recorders' own signal instead of sleeping.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/client.h"
#include "mqtt/logger.h"
#include "platform/unique_fd.h"
#include "platform/wake_event.h"
#include "tests/support/full_backlog.h"
#include "tests/support/hex.h"
#include "tests/support/loopback_peer.h"

namespace kestova::testing {

using namespace std::chrono_literals;
using test::ByteVector;
using test::HexBytes;
using test::ToHex;

// Generous bound for waits that should end quickly; it catches hangs, it measures nothing.
inline constexpr std::chrono::milliseconds kGenerous{10000};

// Signalled by the recorders whenever they record something, from any thread.
TWakeEvent& TestSignal();

// Runs the main thread's queued calls until ADone holds or ATimeout passes; the result of ADone.
bool PumpUntil(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout = kGenerous);
// Runs the main thread's queued calls for ADuration (to show that something does not happen).
void PumpFor(std::chrono::milliseconds ADuration);

// Binds the hand-over to the gtest thread for each test.
class TMainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

struct TStatusEvent {
  bool Connected = false;
  TMqttConnectionStatus Status = TMqttConnectionStatus::csNotConnected;
  bool OnMainThread = false;
  std::string Thread;  // the name of the thread it ran on ("mqtt-reader")
};

struct TReceivedMessage {
  uint16_t PacketId = 0;
  std::string Topic;
  std::string Payload;
};

struct TAcknowledgement {
  uint16_t PacketId = 0;
  TMqttSubscriptions Subscriptions;
};

// Installs handlers on every event of a client and keeps what they saw. Declare it before the
// client, so the client (and its threads) are gone before the recorder.
class TClientRecorder {
 public:
  TClientRecorder();
  void Attach(TMqttClient& AClient);

  std::vector<TStatusEvent> Statuses() const;
  std::vector<TMqttConnectionStatus> StatusValues() const;
  std::vector<TReceivedMessage> Messages() const;
  std::vector<TAcknowledgement> Acknowledgements() const;
  std::vector<TMqttPacketInfo> Sent() const;
  std::vector<TMqttPacketInfo> Received() const;
  int PingRequests() const;
  int PingResponses() const;
  // Events raised away from the main thread other than csConnectionLost.
  int StrayEvents() const;

  // Pump until AStatus has been reported AOccurrence times (statuses can pass quickly, so the
  // last one is not what to wait for).
  bool WaitForStatus(TMqttConnectionStatus AStatus, int AOccurrence = 1,
                     std::chrono::milliseconds ATimeout = kGenerous);
  bool WaitForMessages(std::size_t ACount, std::chrono::milliseconds ATimeout = kGenerous);
  // Pump until a packet of this type (and identifier, when not 0) has been received or sent.
  bool WaitForReceived(TMqttPacketType AType, uint16_t APacketId = 0, std::chrono::milliseconds ATimeout = kGenerous);
  bool WaitForSent(TMqttPacketType AType, uint16_t APacketId = 0, std::chrono::milliseconds ATimeout = kGenerous);

  // A handler of OnPublishReceived that runs after the recording (may throw).
  std::function<void()> AfterPublish;
  // Called on the main thread after csConnected was recorded (to resubscribe, say).
  std::function<void()> AfterConnected;

 private:
  void Record(const std::function<void()>& AChange);
  void NoteThread(bool AAllowedElsewhere);
  template <typename T>
  T Copy(const T& AField) const {
    std::lock_guard lock(FLock);
    return AField;
  }

  mutable std::mutex FLock;
  std::thread::id FMain;
  std::vector<TStatusEvent> FStatuses;
  std::vector<TReceivedMessage> FMessages;
  std::vector<TAcknowledgement> FAcknowledgements;
  std::vector<TMqttPacketInfo> FSent;
  std::vector<TMqttPacketInfo> FReceived;
  int FPingRequests = 0;
  int FPingResponses = 0;
  int FStrayEvents = 0;
};

// A library logger that keeps every line (at debug level) instead of printing it.
class TRecordingLogger : public TMqttLogger {
 public:
  TRecordingLogger();
  std::vector<std::string> Lines() const;
  // How many lines start with AStart.
  int Count(const std::string& AStart) const;
  bool WaitFor(const std::string& AStart, int ACount = 1, std::chrono::milliseconds ATimeout = kGenerous) const;
  // Whether a formatted line (which carries the exception's message) contains AText.
  bool Printed(const std::string& AText) const;

 protected:
  void Logoutput(const std::string& AText) override;

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FMessages;
  std::vector<std::string> FOutputs;
};

// A scripted broker on a loopback port: the script runs on its own thread while the test pumps
// the main thread; Finish waits (pumping) until the script ends and hands back its failure.
class TFakeBroker {
 public:
  TFakeBroker() = default;
  ~TFakeBroker();

  const std::string& Host() const noexcept { return FPeer.Host(); }
  uint16_t Port() const noexcept { return FPeer.Port(); }
  test::TLoopbackPeer& Peer() noexcept { return FPeer; }

  void Run(std::function<void(test::TLoopbackPeer&)> AScript);
  bool Done() const noexcept { return FDone.load(); }
  // Pump until the script has ended, then rethrow what it raised.
  void Finish(std::chrono::milliseconds ATimeout = kGenerous);

 private:
  test::TLoopbackPeer FPeer;
  std::atomic<bool> FDone{true};
};

// One whole packet read from the client (first byte, remaining length, body), as hex text in
// the style of ToHex ("30 05 00 01 74 C3 A9").
std::string ReadPacket(test::TLoopbackPeer& APeer, std::chrono::milliseconds ATimeout = kGenerous);
// Writes hex text ("20 02 00 00") to the client.
void WritePacket(test::TLoopbackPeer& APeer, const std::string& AHex);
// Accepts the client, reads its CONNECT and answers CONNACK with AReturnCode; the CONNECT's hex.
std::string AcceptConnect(test::TLoopbackPeer& APeer, uint8_t AReturnCode = 0);
// True when nothing arrives within AWindow (the client stays silent).
bool StaysSilent(test::TLoopbackPeer& APeer, std::chrono::milliseconds AWindow);

// A client aimed at AHost:APort with a fixed identifier, reconnecting never, keep-alive off.
void AimClient(TMqttClient& AClient, const std::string& AHost, uint16_t APort,
               const std::string& AClientId = "Display");

using test::TFullBacklog;

// A fresh client aimed at a scripted broker of its own, with its recorder and library log, for
// table tests that need a new pair per case. The client goes before its recorder and log.
struct TScriptedPair {
  TScriptedPair();
  TFakeBroker Fake;
  TRecordingLogger Log;
  TClientRecorder Seen;
  TMqttClient Client;
};

// A client aimed at a scripted broker, with its recorder and library log: the fixture of the
// exact-byte tests.
class TClientWireFixture : public TMainThreadTest {
 protected:
  TClientWireFixture();
  // Connect and wait until the broker's CONNACK 0 has been processed; the CONNECT's bytes.
  std::string ConnectAccepted(bool AClean = true);

  TFakeBroker FBroker;
  TRecordingLogger FLog;
  TClientRecorder FEvents;
  std::unique_ptr<TMqttClient> FClient = std::make_unique<TMqttClient>();
};

}  // namespace kestova::testing
