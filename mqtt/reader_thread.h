#pragma once
// The reader thread: waits on the connection until bytes arrive, frames them into packets
// (first byte, remaining length of at most four bytes, body), queues each packet in the
// session and hands OnPacketReceived to the main thread, where the client decodes what is
// queued. A zero first byte is skipped and announced like a packet.
//
// One hand-over covers the packets of one read from the socket (at most kChunkSize bytes), so
// a burst of small packets does not cost a thread switch each; the client drains the whole
// queue in each hand-over.
//
// A stream that can no longer be framed (a fourth length byte with bit 7 set, a packet longer
// than MQTT_MAX_MESSAGE_SIZE, or a packet whose bytes stop arriving for the read time-out) is
// logged as "IN - Read exception" and the connection is closed: the next first byte could not
// be found in it. So is a stream with a protocol violation (InboundPacketProblem): the packets
// before it are still handed over, nothing after it.
//
// Every read also stamps the session's LastReadCommunicationTime, so the keep-alive thread
// sees the broker answer even while the main thread is busy.
//
// Thread safety: as TMqttWorkerThread; everything else runs on the thread itself.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "mqtt/frame_reader.h"
#include "mqtt/worker_thread.h"

namespace kestova {

class TMqttReaderThread final : public TMqttWorkerThread {
 public:
  static constexpr std::size_t kChunkSize = 16 * 1024;

  // AOnPacketReceived runs on the main thread after each read that framed a packet or skipped
  // a zero byte. The thread starts at once.
  TMqttReaderThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession, TMqttLogger* ALog,
                    TNotifyEvent AOnPacketReceived);
  ~TMqttReaderThread() override;

 protected:
  void Work() override;
  void WakeWork() noexcept override;

 private:
  struct TConsumed {
    bool Received = false;  // a packet was queued or a zero byte skipped
    bool Broken = false;    // the stream cannot be framed any further
    std::string Violation;  // why it broke, when a packet broke the rules
  };
  TConsumed Consume(const uint8_t* AData, std::size_t ACount);
  void HandOver();
  // Forgets a frame begun on another connection than AConnectionId.
  void StartStream(uint64_t AConnectionId);
  // Logs why the stream cannot be framed any further and closes its connection.
  void CloseBrokenStream(const std::exception& AWhy);

  TNotifyEvent FOnPacketReceived;
  TMqttFrameReader FFrames;
  uint64_t FStreamOf = 0;  // connection whose stream FFrames is in
  std::chrono::steady_clock::time_point FLastProgress{};
  TMqttBytes FChunk;
};

}  // namespace kestova
