#pragma once
// Incremental framing of the received byte stream: first byte, remaining length (1 to 4 bytes),
// body. The reader thread feeds it whatever the connection delivered and queues each complete
// frame; nothing here touches a socket, so any chunking of the stream gives the same frames.
//
// A zero first byte is skipped (it starts no frame). The stream is malformed when the fourth
// length byte still has bit 7 set, or when a frame announces more than the reader accepts; it
// then stays malformed until Reset, since the position of the next frame is unknown and the
// connection should be closed.
//
// Thread safety: none; one reader object belongs to one reader thread.
#include <cstddef>
#include <cstdint>

#include "mqtt/global.h"

namespace kestova {

enum class TMqttFrameStatus : uint8_t { fsNeedMore, fsComplete, fsMalformed };

// Where the reader is in the stream: waiting for a first byte, reading the remaining length,
// reading the body, holding a complete frame (until TakeFrame), or stopped at a malformed one.
enum class TMqttFramePhase : uint8_t { fpFirstByte, fpLength, fpBody, fpComplete, fpMalformed };

struct TMqttFrame {
  uint8_t FirstByte = 0;
  TMqttBytes Body;
};

class TMqttFrameReader {
 public:
  // AMaxRemainingLength bounds the body of one frame (at most MQTT_MAX_MESSAGE_SIZE, which is
  // also the most four length bytes can announce).
  explicit TMqttFrameReader(uint32_t AMaxRemainingLength = MQTT_MAX_MESSAGE_SIZE) noexcept;

  // Takes bytes from the front of AData until a frame is complete, the stream turns out
  // malformed, or AData is used up; AConsumed is the number taken. Bytes after a completed
  // frame are not taken: feed them again after TakeFrame. After fsComplete, feeding without
  // TakeFrame drops the finished frame and starts the next one.
  TMqttFrameStatus Feed(TMqttByteView AData, std::size_t& AConsumed);
  // The completed frame, moved out; the reader then waits for the next first byte. Before a
  // frame is complete: an empty frame, and the reader is left as it was.
  TMqttFrame TakeFrame();

  // How many bytes the reader can take without reaching into the next frame: 1 while it waits
  // for the first byte or a length byte, otherwise what is missing of the body. A reader that
  // must not read ahead (byte-by-byte framing straight from the socket) reads exactly this many.
  std::size_t BytesWanted() const noexcept;
  TMqttFramePhase Phase() const noexcept { return FPhase; }
  // True between a first byte and the end of its frame.
  bool InFrame() const noexcept { return FPhase == TMqttFramePhase::fpLength || FPhase == TMqttFramePhase::fpBody; }
  // Zero first bytes skipped since construction or Reset.
  std::size_t SkippedZeroBytes() const noexcept { return FSkippedZeroBytes; }
  // The remaining length of the frame being read, once its length bytes are complete.
  uint32_t RemainingLength() const noexcept { return FRemainingLength; }

  void Reset() noexcept;

 private:
  TMqttFramePhase FPhase = TMqttFramePhase::fpFirstByte;
  uint32_t FMaxRemainingLength;
  uint32_t FRemainingLength = 0;
  std::size_t FLengthBytes = 0;
  std::size_t FSkippedZeroBytes = 0;
  TMqttFrame FFrame;
};

}  // namespace kestova
