#include "mqtt/client_session.h"

#include <algorithm>

namespace kestova {

TMqttClientSession::TMqttClientSession() = default;
TMqttClientSession::~TMqttClientSession() = default;

uint16_t TMqttClientSession::GetNextPacketId() {
  // Before the first wrap no identifier can be in use twice, so the lists are searched only
  // after it (a burst of queued packets would otherwise cost a search each).
  for (int tries = 0; tries < 65535; ++tries) {
    if (FLastPacketId == 65535) {
      FLastPacketId = 0;
      FPacketIdsWrapped = true;
    }
    ++FLastPacketId;
    if (!FPacketIdsWrapped || !IsPacketIdInUse(FLastPacketId)) break;
  }
  return FLastPacketId;
}

bool TMqttClientSession::IsPacketIdInUse(uint16_t AId) {
  // Packets that wait for an acknowledgement carry a QoS above 0 in their fixed header; the
  // acknowledgements we send carry the broker's identifiers and QoS 0.
  const auto ours = [AId](const std::unique_ptr<TQueuedOutPacket>& AEntry) {
    return AEntry->PacketId() == AId && AEntry->Qos() != TMqttQoS::qosAtMostOnce;
  };
  if (FInFlightPacketsQueue.GetLock().IndexOf(ours) >= 0) return true;
  return FOutGoingPacketsQueue.GetLock().IndexOf(ours) >= 0;
}

void TMqttClientSession::QueueOutgoingPacket(std::unique_ptr<TQueuedOutPacket> APacket) {
  if (APacket) APacket->FQueuedForConnection = FConnectionNumber.load();
  {
    auto queue = FOutGoingPacketsQueue.GetLock();
    queue.Add(std::move(APacket));
  }
  NotifyWriter();
}

bool TMqttClientSession::HasOutgoingPackets() { return FOutGoingPacketsQueue.GetLock().Count() > 0; }

std::unique_ptr<TQueuedOutPacket> TMqttClientSession::GetNextOutGoingPacket() {
  auto queue = FOutGoingPacketsQueue.GetLock();
  if (queue.Count() == 0) return nullptr;
  return queue.Extract(0);
}

void TMqttClientSession::StartOutgoingPacketsCycle() {
  auto inFlight = FInFlightPacketsQueue.GetLock();
  ++FCurrentPass;
}

std::unique_ptr<TQueuedOutPacket> TMqttClientSession::GetNextInFlightPacket() {
  auto inFlight = FInFlightPacketsQueue.GetLock();
  // Entries not yet visited in this pass are always at the front: a visited entry goes back
  // to the end.
  if (inFlight.Count() > 0 && inFlight[0]->FInFlightPass != FCurrentPass) return inFlight.Extract(0);
  if (inFlight.Count() < FInFlightWindow.load()) return GetNextOutGoingPacket();
  return nullptr;
}

bool TMqttClientSession::HasInflightPackets() { return FInFlightPacketsQueue.GetLock().Count() > 0; }

void TMqttClientSession::WaitForAcknowledge(std::unique_ptr<TQueuedOutPacket> APacket) {
  if (!APacket) return;
  auto inFlight = FInFlightPacketsQueue.GetLock();
  APacket->FInFlightPass = FCurrentPass;
  inFlight.Add(std::move(APacket));
}

TMqttWordThreadList& TMqttClientSession::AcknowledgementList(TMqttPacketType APacketType) noexcept {
  switch (APacketType) {
    case TMqttPacketType::mtPUBREC: return FAcknowledgedPubRecPackets;
    case TMqttPacketType::mtPUBREL: return FAcknowledgedPubRelPackets;
    default: return FAcknowledgedPublishPackets;
  }
}

void TMqttClientSession::MarkAsAcknowledged(uint16_t APacketID, TMqttPacketType APacketType) {
  {
    auto marks = AcknowledgementList(APacketType).GetLock();
    marks.Add(APacketID);
    while (marks.Count() > kMaxAcknowledgements) marks.Delete(0);
  }
  NotifyWriter();
}

bool TMqttClientSession::IsAcknowlegded(uint16_t APacketID, TMqttPacketType APacketType, bool ARemoveIfExists) {
  auto marks = AcknowledgementList(APacketType).GetLock();
  const int index = marks.IndexOf([APacketID](uint16_t AMark) { return AMark == APacketID; });
  if (index < 0) return false;
  if (ARemoveIfExists) marks.Delete(index);
  return true;
}

void TMqttClientSession::AddIncomingPacket(uint8_t AFirstByte, TMqttBytes ABuffer) {
  auto queue = FPacketsInQueue.GetLock();
  queue.Add(std::make_unique<TQueuedInPacket>(AFirstByte, std::move(ABuffer)));
}

bool TMqttClientSession::HasIncomingPackets() { return FPacketsInQueue.GetLock().Count() > 0; }

std::unique_ptr<TQueuedInPacket> TMqttClientSession::GetNextIncomingPacket() {
  auto queue = FPacketsInQueue.GetLock();
  if (queue.Count() == 0) return nullptr;
  return queue.Extract(0);
}

void TMqttClientSession::AddSubscriptionRequest(std::unique_ptr<TMqttRequestedSubscription> ARequest) {
  if (ARequest) FRequestedSubscriptions.push_back(std::move(ARequest));
}

std::unique_ptr<TMqttRequestedSubscription> TMqttClientSession::GetSubscriptionRequest(uint16_t APacketID) {
  const auto found = std::find_if(FRequestedSubscriptions.begin(), FRequestedSubscriptions.end(),
                                  [APacketID](const auto& ARequest) { return ARequest->PacketId == APacketID; });
  if (found == FRequestedSubscriptions.end()) return nullptr;
  std::unique_ptr<TMqttRequestedSubscription> request = std::move(*found);
  FRequestedSubscriptions.erase(found);
  return request;
}

void TMqttClientSession::Clear() {
  // Each list is cleared under its own lock, one after the other (never both held).
  FOutGoingPacketsQueue.GetLock().Clear();
  FPacketsInQueue.GetLock().Clear();
}

void TMqttClientSession::DropSessionState() {
  FInFlightPacketsQueue.GetLock().Clear();
  FAcknowledgedPublishPackets.GetLock().Clear();
  FAcknowledgedPubRecPackets.GetLock().Clear();
  FAcknowledgedPubRelPackets.GetLock().Clear();
  FRequestedSubscriptions.clear();
  FAwaitingPubRel.clear();
}

void TMqttClientSession::BeginConnection() {
  FConnectionNumber.fetch_add(1);
  FRequestedSubscriptions.clear();
}

bool TMqttClientSession::AwaitPubRel(uint16_t AId) { return FAwaitingPubRel.insert(AId).second; }

void TMqttClientSession::ReleasePubRel(uint16_t AId) { FAwaitingPubRel.erase(AId); }

bool TMqttClientSession::WaitForWriterWork(TMqttDateTime ADeadline) {
  std::unique_lock lock(FWriterWorkLock);
  const bool woken = FWriterWorkChanged.wait_until(lock, ADeadline, [this] { return FWriterWorkPending; });
  FWriterWorkPending = false;
  return woken;
}

void TMqttClientSession::NotifyWriter() {
  {
    std::lock_guard lock(FWriterWorkLock);
    FWriterWorkPending = true;
  }
  FWriterWorkChanged.notify_all();
}

TMqttDateTime TMqttClientSession::NextInFlightDue(TMqttClock::duration ARetryInterval) {
  auto inFlight = FInFlightPacketsQueue.GetLock();
  TMqttDateTime due = TMqttDateTime::max();
  for (int i = 0; i < inFlight.Count(); ++i) due = std::min(due, inFlight[i]->LastAttempt() + ARetryInterval);
  return due;
}

}  // namespace kestova
