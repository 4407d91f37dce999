#include "tests/mqtt/client_test_support.h"

#include "tests/support/main_thread_pump.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "platform/main_thread.h"

namespace kestova::testing {

TWakeEvent& TestSignal() {
  static TWakeEvent signal;
  return signal;
}

bool PumpUntil(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout) {
  // Also woken by the recorders, which signal whenever they record something.
  return test::PumpUntil(ADone, ATimeout, &TestSignal());
}

void PumpFor(std::chrono::milliseconds ADuration) {
  PumpUntil([] { return false; }, ADuration);
}

void TMainThreadTest::SetUp() {
  MainThread().BindToCurrentThread();
  MainThread().Reopen();
}

// --- TClientRecorder ---

TClientRecorder::TClientRecorder() : FMain(std::this_thread::get_id()) {}

void TClientRecorder::Attach(TMqttClient& AClient) {
  AClient.OnConnectedStatusChanged = [this](TMqttClient&, bool AConnected, TMqttConnectionStatus AStatus) {
    const bool onMain = std::this_thread::get_id() == FMain;
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    Record([&] {
      FStatuses.push_back({AConnected, AStatus, onMain, name});
      if (!onMain && AStatus != TMqttConnectionStatus::csConnectionLost) ++FStrayEvents;
    });
    if (AStatus == TMqttConnectionStatus::csConnected && AfterConnected) AfterConnected();
  };
  AClient.OnPublishReceived = [this](TMqttClient&, uint16_t AId, const std::string& ATopic,
                                     const TMqttBytes& APayload) {
    Record([&] {
      FMessages.push_back({AId, ATopic, std::string(APayload.begin(), APayload.end())});
      NoteThread(false);
    });
    if (AfterPublish) AfterPublish();
  };
  AClient.OnSubscriptionAcknowledged = [this](TMqttClient&, uint16_t AId, const TMqttSubscriptions& ASubscriptions) {
    Record([&] {
      FAcknowledgements.push_back({AId, ASubscriptions});
      NoteThread(false);
    });
  };
  // A direct send (the DISCONNECT) reports on the caller's thread, which is the main thread.
  AClient.OnPacketSent = [this](TMqttClient&, const TMqttPacketInfo& AInfo) {
    Record([&] {
      FSent.push_back(AInfo);
      NoteThread(false);
    });
  };
  AClient.OnPacketReceived = [this](TMqttClient&, const TMqttPacketInfo& AInfo) {
    Record([&] {
      FReceived.push_back(AInfo);
      NoteThread(false);
    });
  };
  AClient.OnPingRequest = [this](TMqttClient&) {
    Record([&] {
      ++FPingRequests;
      NoteThread(false);
    });
  };
  AClient.OnPingResponse = [this](TMqttClient&) {
    Record([&] {
      ++FPingResponses;
      NoteThread(false);
    });
  };
}

void TClientRecorder::Record(const std::function<void()>& AChange) {
  {
    std::lock_guard lock(FLock);
    AChange();
  }
  TestSignal().Signal();
}

void TClientRecorder::NoteThread(bool AAllowedElsewhere) {
  if (!AAllowedElsewhere && std::this_thread::get_id() != FMain) ++FStrayEvents;
}

std::vector<TStatusEvent> TClientRecorder::Statuses() const { return Copy(FStatuses); }

std::vector<TMqttConnectionStatus> TClientRecorder::StatusValues() const {
  std::lock_guard lock(FLock);
  std::vector<TMqttConnectionStatus> values;
  for (const TStatusEvent& event : FStatuses) values.push_back(event.Status);
  return values;
}

std::vector<TReceivedMessage> TClientRecorder::Messages() const { return Copy(FMessages); }

std::vector<TAcknowledgement> TClientRecorder::Acknowledgements() const { return Copy(FAcknowledgements); }

std::vector<TMqttPacketInfo> TClientRecorder::Sent() const { return Copy(FSent); }

std::vector<TMqttPacketInfo> TClientRecorder::Received() const { return Copy(FReceived); }

int TClientRecorder::PingRequests() const { return Copy(FPingRequests); }

int TClientRecorder::PingResponses() const { return Copy(FPingResponses); }

int TClientRecorder::StrayEvents() const { return Copy(FStrayEvents); }

bool TClientRecorder::WaitForStatus(TMqttConnectionStatus AStatus, int AOccurrence,
                                    std::chrono::milliseconds ATimeout) {
  return PumpUntil(
      [&] {
        std::lock_guard lock(FLock);
        return std::count_if(FStatuses.begin(), FStatuses.end(),
                             [&](const TStatusEvent& AEvent) { return AEvent.Status == AStatus; }) >= AOccurrence;
      },
      ATimeout);
}

bool TClientRecorder::WaitForMessages(std::size_t ACount, std::chrono::milliseconds ATimeout) {
  return PumpUntil(
      [&] {
        std::lock_guard lock(FLock);
        return FMessages.size() >= ACount;
      },
      ATimeout);
}

namespace {

bool HasPacket(const std::vector<TMqttPacketInfo>& APackets, TMqttPacketType AType, uint16_t AId) {
  return std::any_of(APackets.begin(), APackets.end(), [&](const TMqttPacketInfo& AInfo) {
    return AInfo.PacketType == AType && (AId == 0 || AInfo.PacketId == AId);
  });
}

}  // namespace

bool TClientRecorder::WaitForReceived(TMqttPacketType AType, uint16_t APacketId, std::chrono::milliseconds ATimeout) {
  return PumpUntil(
      [&] {
        std::lock_guard lock(FLock);
        return HasPacket(FReceived, AType, APacketId);
      },
      ATimeout);
}

bool TClientRecorder::WaitForSent(TMqttPacketType AType, uint16_t APacketId, std::chrono::milliseconds ATimeout) {
  return PumpUntil(
      [&] {
        std::lock_guard lock(FLock);
        return HasPacket(FSent, AType, APacketId);
      },
      ATimeout);
}

// --- TRecordingLogger ---

TRecordingLogger::TRecordingLogger() {
  SetVerbosity(TMqttLogLevel::vDEBUG);
  OnLog = [this](TMqttLogger&, TMqttLogLevel, const std::string& AMessage) {
    {
      std::lock_guard lock(FLock);
      FMessages.push_back(AMessage);
    }
    TestSignal().Signal();
  };
}

void TRecordingLogger::Logoutput(const std::string& AText) {
  std::lock_guard lock(FLock);
  FOutputs.push_back(AText);
}

bool TRecordingLogger::Printed(const std::string& AText) const {
  std::lock_guard lock(FLock);
  return std::any_of(FOutputs.begin(), FOutputs.end(),
                     [&](const std::string& ALine) { return ALine.find(AText) != std::string::npos; });
}

std::vector<std::string> TRecordingLogger::Lines() const {
  std::lock_guard lock(FLock);
  return FMessages;
}

int TRecordingLogger::Count(const std::string& AStart) const {
  std::lock_guard lock(FLock);
  return static_cast<int>(std::count_if(FMessages.begin(), FMessages.end(),
                                        [&](const std::string& ALine) { return ALine.rfind(AStart, 0) == 0; }));
}

bool TRecordingLogger::WaitFor(const std::string& AStart, int ACount, std::chrono::milliseconds ATimeout) const {
  return PumpUntil([&] { return Count(AStart) >= ACount; }, ATimeout);
}

// --- TFakeBroker ---

TFakeBroker::~TFakeBroker() {
  // A script still running is waited for by the peer's destructor; its failure was not asked
  // for, so it is dropped there.
}

void TFakeBroker::Run(std::function<void(test::TLoopbackPeer&)> AScript) {
  FDone.store(false);
  FPeer.RunAsync([this, script = std::move(AScript)](test::TLoopbackPeer& APeer) {
    struct TDoneGuard {
      std::atomic<bool>& Done;
      ~TDoneGuard() {
        Done.store(true);
        TestSignal().Signal();
      }
    } guard{FDone};
    script(APeer);
  });
}

void TFakeBroker::Finish(std::chrono::milliseconds ATimeout) {
  EXPECT_TRUE(PumpUntil([this] { return Done(); }, ATimeout)) << "the fake broker's script did not end";
  FPeer.Join();
}

std::string ReadPacket(test::TLoopbackPeer& APeer, std::chrono::milliseconds ATimeout) {
  std::string bytes = APeer.ReadExact(1, ATimeout);
  uint32_t length = 0;
  uint32_t multiplier = 1;
  for (int i = 0; i < 4; ++i) {
    const std::string byte = APeer.ReadExact(1, ATimeout);
    bytes += byte;
    const auto value = static_cast<uint8_t>(byte[0]);
    length += (value & 0x7Fu) * multiplier;
    multiplier *= 128;
    if ((value & 0x80) == 0) break;
  }
  if (length > 0) bytes += APeer.ReadExact(length, ATimeout);
  return ToHex(bytes);
}

void WritePacket(test::TLoopbackPeer& APeer, const std::string& AHex) { APeer.Write(test::FromHex(AHex)); }

std::string AcceptConnect(test::TLoopbackPeer& APeer, uint8_t AReturnCode) {
  APeer.Accept();
  std::string connect = ReadPacket(APeer);
  const uint8_t connack[] = {0x20, 0x02, 0x00, AReturnCode};
  APeer.Write(std::string(reinterpret_cast<const char*>(connack), sizeof connack));
  return connect;
}

bool StaysSilent(test::TLoopbackPeer& APeer, std::chrono::milliseconds AWindow) {
  try {
    const std::string bytes = APeer.ReadSome(AWindow);
    ADD_FAILURE() << "the client sent " << ToHex(bytes);
    return false;
  } catch (const std::exception&) {
    return true;  // the time limit passed (or the client closed) without a byte
  }
}

void AimClient(TMqttClient& AClient, const std::string& AHost, uint16_t APort, const std::string& AClientId) {
  AClient.SetBrokerHostName(AHost);
  AClient.SetBrokerPort(APort);
  AClient.SetClientID(AClientId);
  AClient.KeepAliveSettings().SetKeepConnectionAlive(false);
  AClient.KeepAliveSettings().SetAutoReconnect(false);
}

TScriptedPair::TScriptedPair() {
  Seen.Attach(Client);
  Client.SetLogger(&Log);
  AimClient(Client, Fake.Host(), Fake.Port());
}

TClientWireFixture::TClientWireFixture() {
  FEvents.Attach(*FClient);
  FClient->SetLogger(&FLog);
  AimClient(*FClient, FBroker.Host(), FBroker.Port());
}

std::string TClientWireFixture::ConnectAccepted(bool AClean) {
  std::string connect;
  FBroker.Run([&](test::TLoopbackPeer& APeer) { connect = AcceptConnect(APeer); });
  FClient->Connect(AClean);
  EXPECT_TRUE(FEvents.WaitForStatus(TMqttConnectionStatus::csConnected));
  FBroker.Finish();
  return connect;
}

}  // namespace kestova::testing
