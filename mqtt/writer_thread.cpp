#include "mqtt/writer_thread.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "mqtt/client_session.h"
#include "mqtt/network_connection.h"
#include "mqtt/session_entries.h"

namespace kestova {
namespace {

// With nothing due the writer still looks again after this long; it needs no timer at all,
// the bound only keeps every wait finite.
constexpr std::chrono::hours kIdleWait{1};

}  // namespace

TMqttWriterThread::TMqttWriterThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession,
                                     TMqttLogger* ALog, TNotifyEvent AOnPacketSent)
    : TMqttWorkerThread(AConnection, ASession, ALog), FOnPacketSent(std::move(AOnPacketSent)) {
  Start("mqtt-writer");
}

TMqttWriterThread::~TMqttWriterThread() { Stop(); }

void TMqttWriterThread::WakeWork() noexcept {
  try {
    FSession.NotifyWriter();
  } catch (...) {
    // Only the session's lock can throw; the thread then finds its state at its next wake.
  }
}

TMqttPacketInfo TMqttWriterThread::LastSentPacketInfo() const {
  std::lock_guard lock(FLock);
  return FLastSentPacketInfo;
}

std::vector<TMqttPacketInfo> TMqttWriterThread::TakeSentPacketInfos() {
  std::lock_guard lock(FLock);
  return std::exchange(FSentPacketInfos, {});
}

void TMqttWriterThread::SetRetryInterval(std::chrono::milliseconds AInterval) {
  FRetryInterval.store(AInterval);
  Kick();
}

void TMqttWriterThread::Work() {
  if (!FConnection.IsReady()) {
    FSession.WaitForWriterWork(TMqttClock::now() + kIdleWait);
    return;
  }
  Pass();
  TMqttDateTime due = TMqttClock::now() + kIdleWait;
  if (FSession.HasActiveMqttConnection()) due = std::min(due, FSession.NextInFlightDue(RetryInterval()));
  FSession.WaitForWriterWork(due);
}

void TMqttWriterThread::Pass() {
  FSession.StartOutgoingPacketsCycle();
  if (!FSession.HasActiveMqttConnection()) {
    if (auto connect = TakeConnectPacket()) Handle(std::move(connect));
  } else {
    while (!Terminated() && FConnection.IsReady()) {
      std::unique_ptr<TQueuedOutPacket> entry = FSession.GetNextInFlightPacket();
      if (!entry) break;
      Handle(std::move(entry));
    }
  }
  NotifySent();
}

std::unique_ptr<TQueuedOutPacket> TMqttWriterThread::TakeConnectPacket() {
  auto queue = FSession.OutGoingPacketsQueue().GetLock();
  const int index = queue.IndexOf([](const std::unique_ptr<TQueuedOutPacket>& AEntry) {
    return AEntry->PacketType() == TMqttPacketType::mtCONNECT;
  });
  if (index < 0) return nullptr;
  return queue.Extract(index);
}

void TMqttWriterThread::Handle(std::unique_ptr<TQueuedOutPacket> AEntry) {
  const TMqttPacketType type = AEntry->PacketType();
  if ((type == TMqttPacketType::mtSUBSCRIBE || type == TMqttPacketType::mtUNSUBSCRIBE) &&
      AEntry->QueuedForConnection() != FSession.ConnectionNumber()) {
    // MQTT 3.1.1 repeats only PUBLISH and PUBREL after a reconnect. An old (UN)SUBSCRIBE sent
    // ahead of the new connection's own could make the broker hang up again (an invalid
    // filter), and the application subscribes again after every connection anyway.
    TMqttLogHelper::Debug(
        Logger(), this,
        "OUT - Packet: " + std::to_string(AEntry->PacketId()) + " dropped: queued for an earlier connection");
    return;
  }
  {
    std::lock_guard lock(FLock);
    FLastSentPacketInfo = {AEntry->PacketId(), AEntry->PacketType(), AEntry->Qos(), AEntry->Attempt() > 0, false};
  }
  switch (AEntry->Qos()) {
    case TMqttQoS::qosAtMostOnce: HandlePacketQos0(std::move(AEntry)); break;
    case TMqttQoS::qosAtLeastOnce: HandlePacketQos1(std::move(AEntry)); break;
    case TMqttQoS::qosExactlyOnce: HandlePacketQos2(std::move(AEntry)); break;
    default:
      // Dropped: no QoS says how to send it.
      TMqttLogHelper::Error(Logger(), this, "Invalid Qos Level");
      break;
  }
}

bool TMqttWriterThread::Transmit(const TQueuedOutPacket& AEntry) {
  if (!FConnection.IsReady()) return false;
  try {
    FConnection.Write(AEntry.Packet());
    // Stamped here, not when the main thread hears of it: a CONNACK handled before that report
    // would otherwise find no write on record and make the keep-alive ping at once.
    FSession.SetLastWriteCommunicationTime(TMqttClock::now());
    return true;
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "OUT - Write exception", &e);
    return false;
  }
}

void TMqttWriterThread::Sent(const TQueuedOutPacket& AEntry, bool ADuplicate) {
  bool full = false;
  {
    std::lock_guard lock(FLock);
    FSentPacketInfos.push_back({AEntry.PacketId(), AEntry.PacketType(), AEntry.Qos(), ADuplicate, false});
    full = FSentPacketInfos.size() >= kSentBatch;
  }
  if (full) NotifySent();
}

void TMqttWriterThread::NotifySent() {
  {
    std::lock_guard lock(FLock);
    if (FSentPacketInfos.empty()) return;
  }
  try {
    Synchronize(FOnPacketSent);
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "OUT - Packet sent notification failed", &e);
  }
}

void TMqttWriterThread::HandlePacketQos0(std::unique_ptr<TQueuedOutPacket> AEntry) {
  TMqttLogHelper::Debug(Logger(), this, "OUT - Packet Qos:0 - SENDING", AEntry->Packet());
  if (Transmit(*AEntry)) Sent(*AEntry, false);
}

void TMqttWriterThread::HandlePacketQos1(std::unique_ptr<TQueuedOutPacket> AEntry) {
  HandleAcknowledgedPacket(std::move(AEntry), TMqttQoS::qosAtLeastOnce);
}

void TMqttWriterThread::HandlePacketQos2(std::unique_ptr<TQueuedOutPacket> AEntry) {
  HandleAcknowledgedPacket(std::move(AEntry), TMqttQoS::qosExactlyOnce);
}

void TMqttWriterThread::HandleAcknowledgedPacket(std::unique_ptr<TQueuedOutPacket> AEntry, TMqttQoS AQos) {
  const std::string qos = AQos == TMqttQoS::qosExactlyOnce ? " Qos:2" : " Qos:1";
  const std::string packet = "OUT - Packet: " + std::to_string(AEntry->PacketId()) + qos;
  TMqttLogger* log = Logger();

  if (FSession.IsAcknowlegded(AEntry->PacketId(), AEntry->PacketType(), true)) {
    TMqttLogHelper::Debug(log, this, packet + " - ACKNOWLEDGED");
    return;
  }
  const TMqttDateTime now = TMqttClock::now();
  if (AEntry->Attempt() > 0 && now - AEntry->LastAttempt() < RetryInterval()) {
    FSession.WaitForAcknowledge(std::move(AEntry));
    return;
  }
  if (AEntry->Attempt() >= kMaxAttempts) {
    TMqttLogHelper::Error(
        log, this,
        packet + (AQos == TMqttQoS::qosExactlyOnce ? " - PACKET FAILED TO SEND: TODO EVENT ------------- "
                                                   : " - PACKET FAILED TO SEND ------------- "));
    return;
  }
  TMqttLogHelper::Debug(log, this, packet + " - SENDING - attempt: " + std::to_string(AEntry->Attempt()),
                        AEntry->Packet());
  const bool duplicate = AEntry->Attempt() > 0;
  if (Transmit(*AEntry)) Sent(*AEntry, duplicate);
  // A failed write counts too: the packet waits for its next turn like an unacknowledged one.
  AEntry->RegisterAttempt(now);
  FSession.WaitForAcknowledge(std::move(AEntry));
}

}  // namespace kestova
