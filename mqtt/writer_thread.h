#pragma once
// The writer thread: one pass over the session's packets per iteration (first the packets in
// flight, then new ones while the in-flight window has room). QoS 0 packets are written and
// discarded; QoS 1 and QoS 2 packets are written, then kept and written again with DUP set
// every retry interval (10 s) until their acknowledgement is recorded, at most 10 times; after
// that they are given up with an error line. Transmissions are handed to the main thread as
// OnPacketSent: once per pass, or every kSentBatch transmissions in a long pass, the client
// takes the infos of the transmissions since the last hand-over (TakeSentPacketInfos) and
// raises its event for each, in order; LastSentPacketInfo describes the packet last handled.
// (One hand-over per packet would make a burst of packets wait for the main thread each.)
//
// Between passes the thread sleeps until a packet is queued, an acknowledgement is recorded,
// it is woken, or the next retransmission is due. While the connection is not ready it does
// nothing; while the broker has not accepted the connection (no CONNACK yet) it sends the
// CONNECT alone and holds everything else, so that after a reconnect no packet overtakes the
// CONNECT.
//
// A SUBSCRIBE or UNSUBSCRIBE queued for an earlier connection is dropped, never sent on a
// newer one.
//
// A packet that cannot be written is logged as "OUT - Write exception" (the connection is
// shut down by the transport then); a QoS 0 packet is lost with it, a QoS 1 or QoS 2 packet
// counts the attempt and waits for its next transmission. A packet with QoS 3 is logged as
// "Invalid Qos Level" and dropped. Either way the thread goes on with the next packet.
//
// Thread safety: as TMqttWorkerThread; LastSentPacketInfo and SetRetryInterval from any thread.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "mqtt/global.h"
#include "mqtt/worker_thread.h"

namespace kestova {

class TQueuedOutPacket;

class TMqttWriterThread final : public TMqttWorkerThread {
 public:
  static constexpr std::chrono::milliseconds kDefaultRetryInterval{10000};
  static constexpr int32_t kMaxAttempts = 10;

  // AOnPacketSent runs on the main thread after each transmission. The thread starts at once.
  TMqttWriterThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession, TMqttLogger* ALog,
                    TNotifyEvent AOnPacketSent);
  ~TMqttWriterThread() override;

  static constexpr std::size_t kSentBatch = 64;

  TMqttPacketInfo LastSentPacketInfo() const;
  // The transmissions not yet handed over, oldest first; the list is empty afterwards.
  std::vector<TMqttPacketInfo> TakeSentPacketInfos();

  // Time between transmissions of an unacknowledged packet; tests shorten it.
  std::chrono::milliseconds RetryInterval() const noexcept { return FRetryInterval.load(); }
  void SetRetryInterval(std::chrono::milliseconds AInterval);

 protected:
  void Work() override;
  void WakeWork() noexcept override;

 private:
  void Pass();
  void Handle(std::unique_ptr<TQueuedOutPacket> AEntry);
  void HandlePacketQos0(std::unique_ptr<TQueuedOutPacket> AEntry);
  // QoS 1 and QoS 2 differ only in their log texts.
  void HandlePacketQos1(std::unique_ptr<TQueuedOutPacket> AEntry);
  void HandlePacketQos2(std::unique_ptr<TQueuedOutPacket> AEntry);
  void HandleAcknowledgedPacket(std::unique_ptr<TQueuedOutPacket> AEntry, TMqttQoS AQos);
  // True when the bytes went out; a failure is logged.
  bool Transmit(const TQueuedOutPacket& AEntry);
  // Records a transmission; hands the batch over when it is full.
  void Sent(const TQueuedOutPacket& AEntry, bool ADuplicate);
  void NotifySent();
  // The CONNECT waiting in the outgoing queue, taken out of turn; null when there is none.
  std::unique_ptr<TQueuedOutPacket> TakeConnectPacket();

  TNotifyEvent FOnPacketSent;
  mutable std::mutex FLock;  // guards FLastSentPacketInfo and FSentPacketInfos
  TMqttPacketInfo FLastSentPacketInfo;
  std::vector<TMqttPacketInfo> FSentPacketInfos;
  std::atomic<std::chrono::milliseconds> FRetryInterval{kDefaultRetryInterval};
};

}  // namespace kestova
