#include "mqtt/reader_thread.h"

#include <exception>
#include <string>

#include "mqtt/client_session.h"
#include "mqtt/exceptions.h"
#include "mqtt/inbound_rules.h"
#include "mqtt/network_connection.h"
#include "platform/format.h"
#include "platform/tcp_socket.h"

namespace kestova {

TMqttReaderThread::TMqttReaderThread(TMqttNetworkConnection& AConnection, TMqttClientSession& ASession,
                                     TMqttLogger* ALog, TNotifyEvent AOnPacketReceived)
    : TMqttWorkerThread(AConnection, ASession, ALog),
      FOnPacketReceived(std::move(AOnPacketReceived)),
      FChunk(kChunkSize) {
  Start("mqtt-reader");
}

TMqttReaderThread::~TMqttReaderThread() { Stop(); }

void TMqttReaderThread::WakeWork() noexcept { FConnection.WakeReader(); }

void TMqttReaderThread::HandOver() {
  try {
    Synchronize(FOnPacketReceived);
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(Logger(), this, "IN - Read exception", &e);
  }
}

void TMqttReaderThread::StartStream(uint64_t AConnectionId) {
  if (AConnectionId == FStreamOf) return;
  // A new connection starts a new stream: nothing of a frame begun on the old one carries over.
  FFrames.Reset();
  FStreamOf = AConnectionId;
}

void TMqttReaderThread::CloseBrokenStream(const std::exception& AWhy) {
  TMqttLogHelper::Error(Logger(), this, "IN - Read exception", &AWhy);
  try {
    FConnection.Close(FStreamOf);
  } catch (const std::exception& e) {
    // The connection went down and a status handler failed.
    TMqttLogHelper::Error(Logger(), this, "IN - Read exception", &e);
  }
}

void TMqttReaderThread::Work() {
  const uint64_t kicks = Kicks();
  StartStream(FConnection.ConnectionId());

  TDeadline deadline = TDeadline::Never();
  if (FFrames.InFrame()) deadline = TDeadline::At(FLastProgress + FConnection.ReadTimeout());
  TMqttTransportWait wait = TMqttTransportWait::twDown;
  try {
    wait = FConnection.WaitForData(deadline);
  } catch (const std::exception& e) {
    // The connection went down and a status handler failed.
    TMqttLogHelper::Error(Logger(), this, "IN - Read exception", &e);
  }
  switch (wait) {
    case TMqttTransportWait::twWoken: return;
    case TMqttTransportWait::twDown:
      // Nothing to read until the client opens a connection and resumes this thread (or the
      // disconnected handling that just ran has paused it).
      FFrames.Reset();
      WaitForKick(kicks, std::chrono::steady_clock::time_point::max());
      return;
    case TMqttTransportWait::twTimeout: {
      if (!FFrames.InFrame()) return;
      CloseBrokenStream(ESocketTimeout(Format("The rest of a packet did not arrive within %d ms",
                                              static_cast<int>(FConnection.ReadTimeout().count()))));
      return;
    }
    case TMqttTransportWait::twData: break;
  }

  try {
    do {
      uint64_t stream = 0;
      const std::size_t count = FConnection.ReadAvailable(FChunk.data(), FChunk.size(), &stream);
      if (count == 0) break;
      StartStream(stream);
      FLastProgress = std::chrono::steady_clock::now();
      FSession.SetLastReadCommunicationTime(FLastProgress);
      const TConsumed consumed = Consume(FChunk.data(), count);
      if (consumed.Received) HandOver();
      if (consumed.Broken) {
        CloseBrokenStream(
            EMqttDecodeError(consumed.Violation.empty() ? kMqttMalformedRemainingLength : consumed.Violation));
        return;
      }
    } while (!Terminated() && !Paused() && FConnection.HasData());
  } catch (const std::exception& e) {
    // A failed read; the next poll finds a broken connection and reports it.
    TMqttLogHelper::Error(Logger(), this, "IN - Read exception", &e);
  }
}

TMqttReaderThread::TConsumed TMqttReaderThread::Consume(const uint8_t* AData, std::size_t ACount) {
  TMqttLogger* log = Logger();
  const bool debug = log && log->Verbosity() >= TMqttLogLevel::vDEBUG;
  bool received = false;
  std::size_t pos = 0;
  std::string violation;
  // False when the frame breaks the protocol: it is not queued, and the stream ends there.
  const auto queue = [&] {
    TMqttFrame frame = FFrames.TakeFrame();
    violation = InboundPacketProblem(frame.FirstByte, frame.Body);
    if (!violation.empty()) return false;
    FSession.AddIncomingPacket(frame.FirstByte, std::move(frame.Body));
    if (debug) TMqttLogHelper::Debug(log, this, "IN - Bytes added to incoming messages queue");
    received = true;
    return true;
  };

  while (pos < ACount) {
    std::size_t used = 0;
    switch (FFrames.Phase()) {
      // Byte by byte up to the end of the remaining length, for the log's sake.
      case TMqttFramePhase::fpFirstByte: {
        const uint8_t first = AData[pos];
        if (debug) {
          TMqttLogHelper::Debug(log, this, "IN - Incoming data detected -- Getting First Byte");
          TMqttLogHelper::Debug(log, this, "IN - First Byte", first);
        }
        FFrames.Feed({AData + pos, 1}, used);
        pos += used;
        if (first == 0) {
          received = true;  // skipped, but announced like a packet
        } else if (debug) {
          TMqttLogHelper::Debug(log, this, "IN - Reading Remaining length");
        }
        break;
      }
      case TMqttFramePhase::fpLength: {
        const uint8_t byte = AData[pos];
        if (debug) TMqttLogHelper::Debug(log, this, "IN - RL byte", byte);
        const TMqttFrameStatus status = FFrames.Feed({AData + pos, 1}, used);
        pos += used;
        if (status == TMqttFrameStatus::fsMalformed) return {received, true, {}};
        if ((byte & 0x80) == 0 && debug) {
          const uint32_t length = FFrames.RemainingLength();
          TMqttLogHelper::Debug(log, this, "IN - Got Remaining length --> " + std::to_string(length));
          if (length > 0) TMqttLogHelper::Debug(log, this, "IN - Start reading " + std::to_string(length) + " bytes");
        }
        if (status == TMqttFrameStatus::fsComplete && !queue()) return {received, true, violation};
        break;
      }
      case TMqttFramePhase::fpBody: {
        const TMqttFrameStatus status = FFrames.Feed({AData + pos, ACount - pos}, used);
        pos += used;
        if (status != TMqttFrameStatus::fsComplete) break;
        if (debug) {
          TMqttLogHelper::Debug(
              log, this, "IN - End reading bytes. Resulting length: " + std::to_string(FFrames.RemainingLength()));
        }
        if (!queue()) return {received, true, violation};
        break;
      }
      // A complete frame is always taken at once; a stream found malformed is read no further.
      case TMqttFramePhase::fpComplete:
      case TMqttFramePhase::fpMalformed: return {received, true, {}};
    }
  }
  return {received, false, {}};
}

}  // namespace kestova
