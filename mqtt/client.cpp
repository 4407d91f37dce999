#include "mqtt/client.h"

#include <exception>
#include <utility>

#include "mqtt/exceptions.h"
#include "mqtt/keep_alive_thread.h"
#include "mqtt/packet_factory.h"
#include "mqtt/packets.h"
#include "mqtt/reader_thread.h"
#include "mqtt/topic.h"
#include "mqtt/utils.h"
#include "mqtt/writer_thread.h"

namespace kestova {
namespace {

constexpr const char* kNoHostName = "Please provide the hostname of the broker";
constexpr const char* kNotConnected = "This action requires a connected state";
constexpr const char* kInvalidTopicName = "This is not a valid topic name";
constexpr const char* kInvalidTopicFilter = "This is not a valid topic filter";

TMqttConnectionStatus StatusOfReturnCode(TMqttConnectReturnCode ACode) noexcept {
  const auto code = static_cast<uint8_t>(ACode);
  if (code == 0) return TMqttConnectionStatus::csConnected;
  if (code <= 5) return static_cast<TMqttConnectionStatus>(code);
  return TMqttConnectionStatus::csNotConnected;
}

}  // namespace

TMqttClient::TMqttClient()
    : FConnection(std::make_unique<TMqttNetworkConnection>()),
      FRetryInterval(TMqttWriterThread::kDefaultRetryInterval) {
  FConnection->OnConnected = [this](TMqttNetworkConnection&, uint64_t AId) { ConnectionOnConnected(AId); };
  FConnection->OnDisconnected = [this](TMqttNetworkConnection&, uint64_t AId) { ConnectionOnDisconnected(AId); };
}

TMqttClient::~TMqttClient() {
  FDestroying.store(true);
  // No DISCONNECT: the connection just ends. Shutting it down first releases a reader or
  // writer blocked in the socket, so every thread stops promptly.
  FConnection->Shutdown();
  if (FKeepAliveThread) {
    FKeepAliveThread->Terminate();
    FKeepAliveThread->WaitFor();
  }
  if (FWriterThread) {
    FWriterThread->Terminate();
    FWriterThread->WaitFor();
  }
  if (FReaderThread) {
    FReaderThread->Terminate();
    FReaderThread->WaitFor();
  }
  FKeepAliveThread.reset();
  FWriterThread.reset();
  FReaderThread.reset();
  FConnection.reset();
  if (TMqttLogger* logger = FLogger.load()) logger->RemoveFreeNotification(FLoggerToken);
}

// --- Settings ---

void TMqttClient::SetLogger(TMqttLogger* ALogger) {
  TMqttLogger* previous = FLogger.exchange(ALogger);
  if (previous == ALogger) return;
  if (previous) previous->RemoveFreeNotification(FLoggerToken);
  FLoggerToken = ALogger ? ALogger->AddFreeNotification([this](TMqttLogger& AGone) { ForgetLogger(AGone); }) : 0;
  FConnection->SetLogger(ALogger);
  if (FReaderThread) FReaderThread->SetLogger(ALogger);
  if (FWriterThread) FWriterThread->SetLogger(ALogger);
  if (FKeepAliveThread) FKeepAliveThread->SetLogger(ALogger);
}

void TMqttClient::ForgetLogger(TMqttLogger& ALogger) {
  TMqttLogger* expected = &ALogger;
  if (!FLogger.compare_exchange_strong(expected, nullptr)) return;
  FLoggerToken = 0;
  FConnection->SetLogger(nullptr);
  if (FReaderThread) FReaderThread->SetLogger(nullptr);
  if (FWriterThread) FWriterThread->SetLogger(nullptr);
  if (FKeepAliveThread) FKeepAliveThread->SetLogger(nullptr);
}

uint32_t TMqttClient::GetVersionNr() const { return (1u << 24) | (2u << 16) | (0u << 8) | 2u; }

std::string TMqttClient::Version() const {
  const uint32_t number = GetVersionNr();
  return std::to_string(number >> 24) + "." + std::to_string((number >> 16) & 0xFF) + "." +
         std::to_string((number >> 8) & 0xFF) + "." + std::to_string(number & 0xFF);
}

void TMqttClient::Assign(const TMqttClient& ASource) {
  FClientID = ASource.FClientID;
  FBrokerHostName = ASource.FBrokerHostName;
  FBrokerPort = ASource.FBrokerPort;
  FUseSSL = ASource.FUseSSL;
  FIPVersion = ASource.FIPVersion;
  FLastWillSettings.Assign(ASource.FLastWillSettings);
  FKeepAliveSettings.Assign(ASource.FKeepAliveSettings);
  FCredentials.Assign(ASource.FCredentials);
  FTlsSettings.Assign(ASource.FTlsSettings);
  FProtocolVersion = ASource.FProtocolVersion;
}

void TMqttClient::SetRetryIntervalForTesting(std::chrono::milliseconds AInterval) {
  FRetryInterval = AInterval;
  if (FWriterThread) FWriterThread->SetRetryInterval(AInterval);
}

// --- Events ---

void TMqttClient::DoPingRequest() {
  if (OnPingRequest && !Destroying()) OnPingRequest(*this);
}

void TMqttClient::DoPingResponse() {
  if (OnPingResponse && !Destroying()) OnPingResponse(*this);
}

void TMqttClient::DoPacketReceived(const TMqttPacketInfo& APacketInfo) {
  if (OnPacketReceived && !Destroying()) OnPacketReceived(*this, APacketInfo);
}

void TMqttClient::DoPacketSent(const TMqttPacketInfo& APacketInfo) {
  if (OnPacketSent && !Destroying()) OnPacketSent(*this, APacketInfo);
}

void TMqttClient::DoPublishReceived(uint16_t APacketID, const std::string& ATopic, const TMqttBytes& APayload) {
  if (Destroying()) return;
  if (OnPublishReceived) OnPublishReceived(*this, APacketID, ATopic, APayload);
  if (OnPublishReceivedEx) OnPublishReceivedEx(*this, APacketID, ATopic, APayload);
}

void TMqttClient::DoConnectedStatusChanged(bool AConnected, TMqttConnectionStatus AStatus) {
  if (OnConnectedStatusChanged && !Destroying()) OnConnectedStatusChanged(*this, AConnected, AStatus);
}

void TMqttClient::DoSubscriptionAcknowledged(uint16_t APacketID, const TMqttSubscriptions& ASubscriptions) {
  if (!OnSubscriptionAcknowledged || Destroying()) return;
  const TMqttSubscriptions copy = ASubscriptions;
  OnSubscriptionAcknowledged(*this, APacketID, copy);
}

// --- Status ---

void TMqttClient::HandleConnectionStatusChanged(TMqttConnectionStatus AStatus) {
  {
    std::lock_guard lock(FStatusLock);
    if (FConnectionStatus.load() == AStatus) return;
    FConnectionStatus.store(AStatus);
    FSession.SetHasActiveMqttConnection(AStatus == TMqttConnectionStatus::csConnected);
  }
  AfterStatusChanged(AStatus);
}

void TMqttClient::AfterStatusChanged(TMqttConnectionStatus AStatus) {
  const bool connected = AStatus == TMqttConnectionStatus::csConnected;
  // The writer holds everything but the CONNECT until the broker has accepted it.
  if (connected) FSession.NotifyWriter();
  DoConnectedStatusChanged(connected, AStatus);
  if (connected && FKeepAliveThread) {
    FKeepAliveThread->SetShouldKeepConnectionAlive(FKeepAliveSettings.KeepConnectionAlive());
    FKeepAliveThread->SetKeepAliveInterval(FKeepAliveSettings.KeepAliveInterval());
  }
}

// --- Connecting ---

void TMqttClient::Connect(bool ACleanSession) {
  if (FBrokerHostName.empty()) throw EMqttAssertionError(kNoHostName);
  if (!FKeepAliveThread) {
    FKeepAliveThread = std::make_unique<TMqttKeepAliveThread>(
        *FConnection, FSession, Logger(),
        [this] {
          if (!Destroying()) Ping();
        },
        [this] { KeepAliveThreadOnRequestReconnect(); },
        [this](TMqttCloseReason AReason, uint64_t AConnectionId) {
          KeepAliveThreadOnRequestClose(AReason, AConnectionId);
        });
  } else {
    FKeepAliveThread->SetPaused(false);
  }
  if (IsConnected()) return;
  if (FClientID.empty()) FClientID = CreateRandomClientId();
  HandleConnectionStatusChanged(TMqttConnectionStatus::csConnecting);
  FKeepAliveThread->SetReconnectInterval(FKeepAliveSettings.AutoReconnectInterval());
  try {
    ConnectInternal(ACleanSession);
  } catch (const std::exception&) {
    HandleConnectionStatusChanged(TMqttConnectionStatus::csConnectionRejected_ServerUnavailable);
  }
  // The reconnection is armed by Connect itself, so a broker that is not up yet (a shop PC
  // that boots faster than the broker's machine) is still found.
  FKeepAliveThread->SetShouldTryReconnect(FKeepAliveSettings.AutoReconnect());
}

std::unique_ptr<TMqttConnectPacket> TMqttClient::BuildConnectPacket(bool ACleanSession) const {
  auto connect = std::make_unique<TMqttConnectPacket>(FClientID);
  connect->SetCleanSession(ACleanSession);
  connect->SetUserName(FCredentials.Username());
  // MQTT-3.1.2-22: a password only with a user name (brokers refuse the CONNECT otherwise).
  if (!connect->UserName().empty()) connect->SetPassword(FCredentials.Password());
  connect->SetWillTopic(FLastWillSettings.Topic());
  connect->SetWillMessage(FLastWillSettings.WillMessage());
  // MQTT-3.1.2-13 and -15: the will's QoS and retain flag only with a will.
  if (!connect->WillTopic().empty()) {
    connect->SetWillRetain(FLastWillSettings.Retain());
    connect->SetWillQoS(FLastWillSettings.QoS());
  }
  connect->SetKeepAlive(FKeepAliveSettings.KeepAliveInterval());
  return connect;
}

void TMqttClient::ConnectInternal(bool ACleanSession) {
  if (ACleanSession) {
    FSession.Clear();
    // A clean session starts with nothing of the previous one: what it left in flight would
    // be sent on, and its acknowledgement marks could match new packets.
    FSession.DropSessionState();
  }
  FSession.BeginConnection();
  TMqttLogger* log = Logger();
  try {
    TMqttLogHelper::Info(log, this, "CLIENT- Connecting --------------------------- ");
    if (FConnection->IsReady()) {
      TMqttLogHelper::Info(log, this, "CLIENT- Closing previous connection --------------------------- ");
      FConnection->Close();
    }
    FConnection->SetHostName(FBrokerHostName);
    FConnection->SetIPVersion(FIPVersion);
    FConnection->SetPort(FBrokerPort);
    FConnection->SetUseSSL(FUseSSL);
    FConnection->SetTlsOptions({FTlsSettings.VerifyPeer(), FTlsSettings.CAFile(), FTlsSettings.ServerName()});
    FConnection->Open();

    {
      std::lock_guard lock(FTransitionLock);
      if (FWriterThread) {
        FWriterThread->SetPaused(false);
      } else {
        FWriterThread =
            std::make_unique<TMqttWriterThread>(*FConnection, FSession, log, [this] { WriterThreadOnPacketSent(); });
        FWriterThread->SetRetryInterval(FRetryInterval);
      }
      if (FReaderThread) {
        FReaderThread->SetPaused(false);
      } else {
        FReaderThread = std::make_unique<TMqttReaderThread>(*FConnection, FSession, log,
                                                            [this] { ReaderThreadOnPacketReceived(); });
      }
    }

    auto connect = BuildConnectPacket(ACleanSession);
    {
      // A CONNECT of an earlier attempt that never went out belongs to a connection that is
      // gone; sent on this one it would follow our CONNECT and make the broker hang up.
      auto queue = FSession.OutGoingPacketsQueue().GetLock();
      for (int i = queue.Count() - 1; i >= 0; --i) {
        if (queue[i]->PacketType() == TMqttPacketType::mtCONNECT) queue.Delete(i);
      }
    }
    HandleOutgoingPacket(std::move(connect), false);
    FKeepAliveThread->AwaitConnAck(FConnection->ConnectionId(), TMqttClock::now() + FConnAckTimeout);
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(log, this, "Failed to connect", &e);
    FKeepAliveThread->ConnectAttempted();
    if (OnConnectFailed) OnConnectFailed(*this, e.what());
    throw;
  }
  FKeepAliveThread->ConnectAttempted();
}

void TMqttClient::ConnectionOnConnected(uint64_t AConnectionId) {
  {
    std::lock_guard lock(FTransitionLock);
    FCurrentConnectionId = AConnectionId;
    FSession.SetHasActiveNetworkConnection(true);
  }
  if (FKeepAliveThread) {
    FKeepAliveThread->SetShouldTryReconnect(FKeepAliveSettings.AutoReconnect());
    FKeepAliveThread->SetReconnectInterval(FKeepAliveSettings.AutoReconnectInterval());
  }
  FSession.NotifyWriter();
}

void TMqttClient::ConnectionOnDisconnected(uint64_t AConnectionId) {
  bool lost = false;
  {
    std::lock_guard lock(FTransitionLock);
    // A newer connection is already up: this report comes too late to concern it.
    if (AConnectionId != FCurrentConnectionId) return;
    {
      // The status changes before the network flag clears, so a reconnect (which waits for
      // the flag) always comes after csConnectionLost.
      std::lock_guard statusLock(FStatusLock);
      if (FConnectionStatus.load() == TMqttConnectionStatus::csConnected) {
        FConnectionStatus.store(TMqttConnectionStatus::csConnectionLost);
        FSession.SetHasActiveMqttConnection(false);
        lost = true;
      }
    }
    FSession.SetHasActiveNetworkConnection(false);
  }
  // A failing status handler must not keep the threads running or the reconnect waiting; its
  // error goes on to whoever found the connection down once the bookkeeping is done.
  std::exception_ptr failure;
  if (lost) {
    try {
      AfterStatusChanged(TMqttConnectionStatus::csConnectionLost);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  DisconnectInternal(AConnectionId);
  if (FKeepAliveThread) FKeepAliveThread->ConnectionLost();
  if (failure) std::rethrow_exception(failure);
}

void TMqttClient::DisconnectInternal(uint64_t AConnectionId) {
  TMqttLogHelper::Info(Logger(), this, "CLIENT- Disconnecting --------------------------- ");
  {
    std::lock_guard lock(FTransitionLock);
    if (AConnectionId != 0 && AConnectionId != FCurrentConnectionId) return;
    if (FWriterThread) FWriterThread->SetPaused(true);
    if (FReaderThread) FReaderThread->SetPaused(true);
  }
  if (FConnection->IsReady()) FConnection->Close();
}

void TMqttClient::KeepAliveThreadOnRequestReconnect() {
  if (Destroying()) return;
  HandleConnectionStatusChanged(TMqttConnectionStatus::csReconnecting);
  try {
    ConnectInternal(false);
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "PING Failed", &e);
  }
}

void TMqttClient::KeepAliveThreadOnRequestClose(TMqttCloseReason AReason, uint64_t AConnectionId) {
  if (Destroying() || AConnectionId == 0 || FConnection->ConnectionId() != AConnectionId) return;
  const bool noConnAck = AReason == TMqttCloseReason::crNoConnAck;
  // The CONNACK may have been processed while this request waited for the main thread.
  if (noConnAck && IsConnected()) return;
  TMqttLogHelper::Error(Logger(), this,
                        noConnAck
                            ? "CLIENT- No CONNACK in time. Closing the connection."
                            : "CLIENT- No answer to PINGREQ within the keep-alive interval. Closing the connection.");
  FConnection->Close(AConnectionId);
  // A first attempt that gets no answer is reported like one that cannot reach the broker; an
  // automatic one stays csReconnecting, as a failed attempt does.
  if (noConnAck && ConnectionStatus() == TMqttConnectionStatus::csConnecting) {
    HandleConnectionStatusChanged(TMqttConnectionStatus::csConnectionRejected_ServerUnavailable);
  }
}

TMqttDateTime TMqttClient::NextReconnectAttempt() const {
  return FKeepAliveThread ? FKeepAliveThread->NextAttempt() : TMqttDateTime{};
}

void TMqttClient::Disconnect() {
  if (ConnectionStatus() != TMqttConnectionStatus::csConnected || !FKeepAliveThread) return;
  FKeepAliveThread->SetPaused(true);
  FKeepAliveThread->SetShouldTryReconnect(false);
  FKeepAliveThread->SetShouldKeepConnectionAlive(false);
  try {
    if (FSession.HasActiveMqttConnection()) {
      try {
        HandleOutgoingPacket(std::make_unique<TMqttDisconnectPacket>(), true);
      } catch (const std::exception& e) {
        TMqttLogHelper::Error(Logger(), this, "Failed to send Disconnect packet", &e);
      }
    }
    DisconnectInternal(0);
  } catch (...) {
    HandleConnectionStatusChanged(TMqttConnectionStatus::csNotConnected);
    throw;
  }
  HandleConnectionStatusChanged(TMqttConnectionStatus::csNotConnected);
}

// --- Outgoing packets ---

void TMqttClient::RequireConnected() const {
  if (!IsConnected()) throw EMqttAssertionError(kNotConnected);
}

uint16_t TMqttClient::Publish(const std::string& ATopic, std::string_view APayload, TMqttQoS AQos, bool ARetain) {
  const TMqttBytes bytes = TextToBytes(APayload);
  return Publish(ATopic, TMqttByteView(bytes), AQos, ARetain);
}

uint16_t TMqttClient::Publish(const std::string& ATopic, TMqttByteView APayload, TMqttQoS AQos, bool ARetain) {
  RequireConnected();
  const uint16_t id = AQos != TMqttQoS::qosAtMostOnce ? FSession.GetNextPacketId() : 0;
  if (!TMqttTopic::ValidateTopicName(ATopic)) throw EMqttAssertionError(kInvalidTopicName);
  HandleOutgoingPacket(
      std::make_unique<TMqttPublishPacket>(id, ATopic, TMqttBytes(APayload.begin(), APayload.end()), AQos, ARetain),
      false);
  return id;
}

uint16_t TMqttClient::Subscribe(const std::string& ATopic, TMqttQoS ATopicQosLevel) {
  return Subscribe(TMqttStringArray{ATopic}, TMqttQosArray{ATopicQosLevel});
}

uint16_t TMqttClient::Subscribe(const TMqttStringArray& ATopics, const TMqttQosArray& ATopicQosLevels) {
  RequireConnected();
  for (const std::string& topic : ATopics) {
    if (!TMqttTopic::ValidateTopicFilter(topic)) throw EMqttAssertionError(kInvalidTopicFilter);
  }
  auto packet = std::make_unique<TMqttSubscribePacket>(FSession.GetNextPacketId(), ATopics, ATopicQosLevels);
  const uint16_t id = packet->PacketId();
  auto request = std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{id, ATopics});
  try {
    HandleOutgoingPacket(std::move(packet), false);
    FSession.AddSubscriptionRequest(std::move(request));
    return id;
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "Subscribe Failed", &e);
    return 0;
  }
}

uint16_t TMqttClient::Unsubscribe(const std::string& ATopic) { return Unsubscribe(TMqttStringArray{ATopic}); }

uint16_t TMqttClient::Unsubscribe(const TMqttStringArray& ATopics) {
  RequireConnected();
  for (const std::string& topic : ATopics) {
    if (!TMqttTopic::ValidateTopicFilter(topic)) throw EMqttAssertionError(kInvalidTopicFilter);
  }
  auto packet = std::make_unique<TMqttUnSubscribePacket>(FSession.GetNextPacketId(), ATopics);
  const uint16_t id = packet->PacketId();
  try {
    HandleOutgoingPacket(std::move(packet), false);
    return id;
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "UnSubscribe Failed", &e);
    return 0;
  }
}

void TMqttClient::Ping() {
  if (!IsConnected()) return;
  try {
    HandleOutgoingPacket(std::make_unique<TMqttPingRequestPacket>(), false);
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "PING Failed", &e);
  }
}

void TMqttClient::HandleOutgoingPacket(std::unique_ptr<TMqttPacket> APacket, bool ASendDirectly) {
  TMqttLogger* log = Logger();
  try {
    if (APacket->PacketType() == TMqttPacketType::mtPINGREQ) DoPingRequest();
    TMqttLogHelper::Debug(log, this, "CLIENT- Handeling Outgoing Packet --------------------------- ");
    if (ASendDirectly) {
      TMqttLogHelper::Debug(log, this, "CLIENT- Sending packet directly to Connection --------------------------- ");
      FConnection->Write(APacket->GetBytes());
      FSession.SetLastWriteCommunicationTime(TMqttClock::now());
      DoPacketSent(APacket->Info());
    } else {
      TMqttLogHelper::Debug(log, this, "CLIENT- Sending packet to WriterThread --------------------------- ");
      FSession.QueueOutgoingPacket(std::make_unique<TQueuedOutPacket>(*APacket));
      TMqttLogHelper::Debug(log, this, "CLIENT- Packet added to queue --------------------------- ");
    }
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(log, this, "Failed to handle outgoing packet", &e);
  }
}

void TMqttClient::WriterThreadOnPacketSent() {
  if (Destroying() || !FWriterThread) return;
  for (const TMqttPacketInfo& info : FWriterThread->TakeSentPacketInfos()) DoPacketSent(info);
}

// --- Incoming packets ---

void TMqttClient::ReaderThreadOnPacketReceived() {
  if (Destroying()) return;
  FSession.SetLastReadCommunicationTime(TMqttClock::now());
  // Every queued packet is handled, also after one that fails; the first failure goes back to
  // the reader, which logs it.
  std::exception_ptr failure;
  while (std::unique_ptr<TQueuedInPacket> received = FSession.GetNextIncomingPacket()) {
    try {
      HandleIncomingPacket(TMqttPacketFactory::CreateFrom(received->FirstByte(), received->Buffer()));
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TMqttClient::HandleIncomingPacket(std::unique_ptr<TMqttPacket> APacket) {
  const TMqttPacketInfo info = APacket->Info();
  TMqttLogger* log = Logger();
  const uint16_t id = info.PacketId;
  switch (info.PacketType) {
    case TMqttPacketType::mtCONNACK: {
      FSession.MarkAsAcknowledged(id, TMqttPacketType::mtCONNECT);
      const TMqttConnectionStatus status = StatusOfReturnCode(static_cast<TMqttConnAckPacket&>(*APacket).ReturnCode());
      if (FKeepAliveThread) FKeepAliveThread->ConnAckReceived(status == TMqttConnectionStatus::csConnected);
      HandleConnectionStatusChanged(status);
      break;
    }
    case TMqttPacketType::mtPUBLISH: HandlePublishReceived(*APacket); break;
    case TMqttPacketType::mtPUBACK: FSession.MarkAsAcknowledged(id, TMqttPacketType::mtPUBLISH); break;
    case TMqttPacketType::mtPUBREC:
      FSession.MarkAsAcknowledged(id, TMqttPacketType::mtPUBLISH);
      HandleOutgoingPacket(std::make_unique<TMqttPubRelPacket>(id), false);
      break;
    case TMqttPacketType::mtPUBREL:
      FSession.MarkAsAcknowledged(id, TMqttPacketType::mtPUBREC);
      FSession.ReleasePubRel(id);
      HandleOutgoingPacket(std::make_unique<TMqttPubCompPacket>(id), false);
      break;
    case TMqttPacketType::mtPUBCOMP: FSession.MarkAsAcknowledged(id, TMqttPacketType::mtPUBREL); break;
    case TMqttPacketType::mtSUBACK:
      FSession.MarkAsAcknowledged(id, TMqttPacketType::mtSUBSCRIBE);
      HandleSubscriptionAcknowledged(*APacket);
      break;
    case TMqttPacketType::mtUNSUBACK: FSession.MarkAsAcknowledged(id, TMqttPacketType::mtUNSUBSCRIBE); break;
    case TMqttPacketType::mtPINGRESP: DoPingResponse(); break;
    case TMqttPacketType::mtCONNECT:
    case TMqttPacketType::mtSUBSCRIBE:
    case TMqttPacketType::mtUNSUBSCRIBE:
    case TMqttPacketType::mtPINGREQ:
    case TMqttPacketType::mtDISCONNECT:
      TMqttLogHelper::Error(
          log, this, "Received Packet with invalid Packet Type - " + std::string(MqttPacketTypeName(info.PacketType)));
      break;
    default: break;  // the factory refuses the reserved types
  }
  DoPacketReceived(info);
}

void TMqttClient::HandlePublishReceived(TMqttPacket& APacket) {
  try {
    auto& publish = static_cast<TMqttPublishPacket&>(APacket);
    const uint16_t id = publish.PacketId();
    if (publish.QoS() == TMqttQoS::qosAtLeastOnce) {
      HandleOutgoingPacket(std::make_unique<TMqttPubAckPacket>(id), false);
    } else if (publish.QoS() == TMqttQoS::qosExactlyOnce) {
      HandleOutgoingPacket(std::make_unique<TMqttPubRecPacket>(id), false);
      // MQTT-4.3.3-2: a message whose PUBREL is still awaited was delivered already; the broker
      // repeats it only because our PUBREC did not reach it.
      if (!FSession.AwaitPubRel(id)) {
        TMqttLogHelper::Debug(Logger(), this, "CLIENT- Repeated QoS 2 message not delivered again");
        return;
      }
    }
    DoPublishReceived(id, publish.TopicName(), publish.Payload());
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "Failed to process incoming publish packet", &e);
  }
}

void TMqttClient::HandleSubscriptionAcknowledged(TMqttPacket& APacket) {
  auto& subAck = static_cast<TMqttSubAckPacket&>(APacket);
  const std::unique_ptr<TMqttRequestedSubscription> request = FSession.GetSubscriptionRequest(subAck.PacketId());
  if (!request) return;
  const auto& codes = subAck.ReturnCodes();
  TMqttSubscriptions subscriptions;
  subscriptions.reserve(request->Topics.size());
  for (std::size_t i = 0; i < request->Topics.size(); ++i) {
    TMqttSubscription subscription{request->Topics[i], false, TMqttQoS::qosAtMostOnce};
    // A broker that answers fewer topics than were asked for has refused the rest.
    if (i < codes.size()) {
      subscription.Accepted = codes[i].IsAccepted();
      subscription.MaxQoS = codes[i].MaximumQoS();
    }
    subscriptions.push_back(std::move(subscription));
  }
  DoSubscriptionAcknowledged(subAck.PacketId(), subscriptions);
}

}  // namespace kestova
