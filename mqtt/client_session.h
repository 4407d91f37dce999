#pragma once
// Everything the client remembers between packets: the identifier counter, the queue of
// encoded packets waiting to be sent, the packets in flight waiting for their acknowledgement,
// the acknowledgements that arrived, the received packets waiting to be decoded, the SUBSCRIBE
// requests waiting for their SUBACK, the two connection flags and the two timestamps.
//
// Thread safety (main = the thread that runs the client component):
// - GetNextPacketId, AddSubscriptionRequest, GetSubscriptionRequest, RequestedSubscriptions,
//   Subscriptions, BeginConnection, DropSessionState, AwaitPubRel and ReleasePubRel: main thread
//   only (the fields they own take no lock).
// - QueueOutgoingPacket, MarkAsAcknowledged, Clear, AddIncomingPacket, HasIncomingPackets,
//   GetNextIncomingPacket, HasOutgoingPackets, HasInflightPackets: any thread; each takes and
//   releases the lock of the list it touches.
// - StartOutgoingPacketsCycle, GetNextInFlightPacket, GetNextOutGoingPacket, WaitForAcknowledge,
//   IsAcknowlegded, WaitForWriterWork, NextInFlightDue: the writer thread (they lock too, but the
//   pass order assumes a single writer).
// - The flags, timestamps and InFlightWindow are atomic values, read and written from any thread.
// Lock order: the in-flight list, then the outgoing queue; nothing else holds two list locks.
// No lock is held when a method returns.
//
// Waking the writer: the writer blocks in WaitForWriterWork between passes instead of polling.
// QueueOutgoingPacket, MarkAsAcknowledged (an acknowledgement frees a place in the in-flight
// window) and NotifyWriter (from whoever stops, pauses or resumes the writer, or when the
// connection becomes ready) set a sticky signal, so work that arrives during a pass makes the
// next wait return at once. Each Work iteration of the writer thread (writer_thread.cpp; the
// worker loop calls it until the thread is stopped, and a stop or pause sets the signal too):
//
//   if (!connection.IsReady()) { session.WaitForWriterWork(now + 1 h); return; }
//   session.StartOutgoingPacketsCycle();      // with no CONNACK yet only the CONNECT goes out
//   while (auto entry = session.GetNextInFlightPacket()) { ... send, then drop or put back ... }
//   session.WaitForWriterWork(now + 1 h, or NextInFlightDue(retry interval) if earlier and the
//                             broker has accepted the connection);
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "mqtt/global.h"
#include "mqtt/session_entries.h"
#include "mqtt/thread_list.h"

namespace kestova {

using TMqttPacketsOutThreadList = TMqttThreadList<std::unique_ptr<TQueuedOutPacket>>;
using TMqttPacketsOutLockList = TMqttPacketsOutThreadList::TLockList;
using TMqttPacketsInThreadList = TMqttThreadList<std::unique_ptr<TQueuedInPacket>>;
using TMqttPacketsInLockList = TMqttPacketsInThreadList::TLockList;
using TMqttWordThreadList = TMqttThreadList<uint16_t>;
using TMqttWordList = TMqttWordThreadList::TLockList;
using TMqttRequestedSubscriptions = std::vector<std::unique_ptr<TMqttRequestedSubscription>>;

class TMqttClientSession {
 public:
  // Acknowledgements nobody checks (the CONNACK mark, duplicates from the broker, the marks of
  // received PUBRELs) would otherwise pile up for the life of the session; each list keeps at
  // most this many, dropping the oldest.
  static constexpr int kMaxAcknowledgements = 1024;
  static constexpr int32_t kDefaultInFlightWindow = 10;

  TMqttClientSession();
  ~TMqttClientSession();
  TMqttClientSession(const TMqttClientSession&) = delete;
  TMqttClientSession& operator=(const TMqttClientSession&) = delete;

  // 1, 2, ..., 65535, 1, ...; never 0. Once the counter has wrapped, identifiers still in use
  // (a packet queued or in flight that waits for its acknowledgement) are skipped.
  uint16_t GetNextPacketId();
  // A queued or in-flight packet of ours that waits for an acknowledgement carries AId.
  bool IsPacketIdInUse(uint16_t AId);

  // --- Outgoing packets (main queues, writer takes) ---
  void QueueOutgoingPacket(std::unique_ptr<TQueuedOutPacket> APacket);
  bool HasOutgoingPackets();
  // Removes and returns the first queued entry; null when the queue is empty.
  std::unique_ptr<TQueuedOutPacket> GetNextOutGoingPacket();

  // --- Writer pass ---
  // Begins a pass: the entries in flight now are each visited once by GetNextInFlightPacket.
  void StartOutgoingPacketsCycle();
  // The next entry of the pass: first the in-flight entries that were in flight when the pass
  // began, in list order (entries put back during the pass are not visited again); then, while
  // fewer than InFlightWindow entries are in flight, the first entry of the outgoing queue;
  // null when there is nothing more for this pass. The caller owns the entry.
  std::unique_ptr<TQueuedOutPacket> GetNextInFlightPacket();
  bool HasInflightPackets();
  // Puts an entry (back) at the end of the in-flight list, to wait for its acknowledgement.
  void WaitForAcknowledge(std::unique_ptr<TQueuedOutPacket> APacket);

  // --- Acknowledgements ---
  // Records that the packet of type APacketType with APacketID was acknowledged: mtPUBREC and
  // mtPUBREL have a list each, every other type shares the third. Wakes the writer.
  void MarkAsAcknowledged(uint16_t APacketID, TMqttPacketType APacketType);
  // Whether such a mark exists; with ARemoveIfExists one occurrence is consumed.
  bool IsAcknowlegded(uint16_t APacketID, TMqttPacketType APacketType, bool ARemoveIfExists);

  // --- Incoming packets (reader adds, main takes) ---
  void AddIncomingPacket(uint8_t AFirstByte, TMqttBytes ABuffer);
  bool HasIncomingPackets();
  // Removes and returns the first received entry; null when none is waiting.
  std::unique_ptr<TQueuedInPacket> GetNextIncomingPacket();

  // --- Subscription requests (main thread) ---
  void AddSubscriptionRequest(std::unique_ptr<TMqttRequestedSubscription> ARequest);
  // Removes and returns the first request with APacketID; null (and nothing removed) when none.
  std::unique_ptr<TMqttRequestedSubscription> GetSubscriptionRequest(uint16_t APacketID);
  const TMqttRequestedSubscriptions& RequestedSubscriptions() const noexcept { return FRequestedSubscriptions; }

  // Drops the outgoing queue, then the incoming queue (a clean-session connect). The counter,
  // the in-flight list, the acknowledgements and the requests stay.
  void Clear();
  // The rest of what a clean session leaves behind: the in-flight list, the acknowledgement
  // marks, the subscription requests and the received QoS 2 messages that wait for their
  // PUBREL. The counter stays.
  void DropSessionState();

  // --- Connections ---
  // A new network connection starts (before its CONNECT is queued). The SUBSCRIBE requests of
  // earlier connections are forgotten: their answers cannot come any more, and the writer drops
  // their SUBSCRIBE and UNSUBSCRIBE packets (see QueuedForConnection) instead of sending them
  // ahead of the new connection's own.
  void BeginConnection();
  // How many connections have begun; packets queued now are stamped with it. Any thread.
  uint64_t ConnectionNumber() const noexcept { return FConnectionNumber.load(); }

  // --- Received QoS 2 messages (MQTT-4.3.3-2) ---
  // True when AId starts a new message that waits for its PUBREL; false when a message with
  // AId already waits (a repetition, not to be delivered again).
  bool AwaitPubRel(uint16_t AId);
  // The PUBREL of AId arrived.
  void ReleasePubRel(uint16_t AId);

  // --- Waking the writer (see the header comment) ---
  // Blocks until the work signal is set or ADeadline passes; clears the signal. True when
  // woken by the signal.
  bool WaitForWriterWork(TMqttDateTime ADeadline);
  void NotifyWriter();
  // The earliest LastAttempt + ARetryInterval over the in-flight entries; TMqttDateTime::max()
  // when nothing is in flight.
  TMqttDateTime NextInFlightDue(TMqttClock::duration ARetryInterval);

  // --- Lists, flags and timestamps ---
  TMqttPacketsInThreadList& IncomingPackets() noexcept { return FPacketsInQueue; }
  TMqttPacketsOutThreadList& OutGoingPacketsQueue() noexcept { return FOutGoingPacketsQueue; }
  TMqttPacketsOutThreadList& InFlightPackets() noexcept { return FInFlightPacketsQueue; }
  int32_t InFlightWindow() const noexcept { return FInFlightWindow.load(); }
  void SetInFlightWindow(int32_t AWindow) noexcept { FInFlightWindow.store(AWindow); }
  bool HasActiveNetworkConnection() const noexcept { return FHasActiveNetworkConnection.load(); }
  void SetHasActiveNetworkConnection(bool AValue) noexcept { FHasActiveNetworkConnection.store(AValue); }
  bool HasActiveMqttConnection() const noexcept { return FHasActiveMqttConnection.load(); }
  void SetHasActiveMqttConnection(bool AValue) noexcept { FHasActiveMqttConnection.store(AValue); }
  // Both start at the clock's epoch, so the first timing comparison is already due.
  TMqttDateTime LastWriteCommunicationTime() const noexcept { return FLastWriteCommunitactionTime.load(); }
  void SetLastWriteCommunicationTime(TMqttDateTime ATime) noexcept { FLastWriteCommunitactionTime.store(ATime); }
  TMqttDateTime LastReadCommunicationTime() const noexcept { return FLastReadCommunitactionTime.load(); }
  void SetLastReadCommunicationTime(TMqttDateTime ATime) noexcept { FLastReadCommunitactionTime.store(ATime); }
  // Never filled by the library (main thread).
  TMqttSubscriptions& Subscriptions() noexcept { return FSubscriptions; }

 private:
  TMqttWordThreadList& AcknowledgementList(TMqttPacketType APacketType) noexcept;

  uint16_t FLastPacketId = 0;
  bool FPacketIdsWrapped = false;  // identifiers handed out earlier may come round again
  std::atomic<uint64_t> FConnectionNumber{0};
  std::set<uint16_t> FAwaitingPubRel;
  std::atomic<int32_t> FInFlightWindow{kDefaultInFlightWindow};
  TMqttPacketsOutThreadList FInFlightPacketsQueue;
  TMqttSubscriptions FSubscriptions;
  std::atomic<TMqttDateTime> FLastWriteCommunitactionTime{TMqttDateTime{}};
  std::atomic<TMqttDateTime> FLastReadCommunitactionTime{TMqttDateTime{}};
  std::atomic<bool> FHasActiveNetworkConnection{false};
  std::atomic<bool> FHasActiveMqttConnection{false};
  TMqttPacketsInThreadList FPacketsInQueue;
  TMqttPacketsOutThreadList FOutGoingPacketsQueue;
  TMqttWordThreadList FAcknowledgedPublishPackets;
  TMqttWordThreadList FAcknowledgedPubRecPackets;
  TMqttWordThreadList FAcknowledgedPubRelPackets;
  // Number of the current writer pass (guarded by the in-flight list's lock). An entry put in
  // flight during pass N carries N, so the pass knows which entries it has already visited
  // even when the one that opened it was acknowledged and left the list.
  uint64_t FCurrentPass = 0;
  TMqttRequestedSubscriptions FRequestedSubscriptions;

  std::mutex FWriterWorkLock;
  std::condition_variable FWriterWorkChanged;
  bool FWriterWorkPending = false;
};

}  // namespace kestova
