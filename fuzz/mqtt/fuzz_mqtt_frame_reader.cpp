// Arbitrary bytes as a received stream. The first input byte picks a chunk size; the stream is
// framed once in one piece and once in those chunks, and both must give the same frames and
// the same verdict. Every frame then goes through the packet factory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mqtt/exceptions.h"
#include "mqtt/frame_reader.h"
#include "mqtt/packet_factory.h"

namespace {

using namespace kestova;

struct TResult {
  std::vector<TMqttFrame> Frames;
  bool Malformed = false;
  std::size_t SkippedZeroBytes = 0;
};

TResult Frame(TMqttByteView AStream, std::size_t AChunk) {
  TMqttFrameReader reader;
  TResult result;
  for (std::size_t offset = 0; offset < AStream.size() && !result.Malformed; offset += AChunk) {
    TMqttByteView chunk = AStream.subspan(offset, std::min(AChunk, AStream.size() - offset));
    while (!chunk.empty()) {
      std::size_t consumed = 0;
      const TMqttFrameStatus status = reader.Feed(chunk, consumed);
      if (consumed > chunk.size()) std::abort();
      chunk = chunk.subspan(consumed);
      if (status == TMqttFrameStatus::fsComplete) {
        TMqttFrame frame = reader.TakeFrame();
        if (frame.FirstByte == 0) std::abort();
        result.Frames.push_back(std::move(frame));
      } else if (status == TMqttFrameStatus::fsMalformed) {
        result.Malformed = true;
        break;
      } else if (!chunk.empty() || reader.BytesWanted() == 0) {
        std::abort();  // "need more" with bytes left over, or wanting nothing
      }
    }
  }
  result.SkippedZeroBytes = reader.SkippedZeroBytes();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  if (ASize == 0) return 0;
  const std::size_t chunk = 1 + AData[0] % 16;
  const TMqttByteView stream(AData + 1, ASize - 1);
  const TResult whole = Frame(stream, stream.size() + 1);
  const TResult pieces = Frame(stream, chunk);
  if (whole.Malformed != pieces.Malformed || whole.SkippedZeroBytes != pieces.SkippedZeroBytes ||
      whole.Frames.size() != pieces.Frames.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < whole.Frames.size(); ++i) {
    if (whole.Frames[i].FirstByte != pieces.Frames[i].FirstByte || whole.Frames[i].Body != pieces.Frames[i].Body) {
      std::abort();
    }
    try {
      (void)TMqttPacketFactory::CreateFrom(whole.Frames[i].FirstByte, whole.Frames[i].Body);
    } catch (const EMqttDecodeError&) {
    }
  }
  return 0;
}
