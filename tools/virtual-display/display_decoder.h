#pragma once
// What the virtual display does with the bytes it reads: turn them into the two lines it shows.
// A decoder is fed the bytes as they come; it reports a frame when one is complete, and the
// caller asks for the frame in progress once the input pauses.
//
// Pure: no I/O, one thread at a time.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_protocol.h"
#include "platform/text_codec.h"

namespace kestova {

struct TDisplayFrame {
  ByteString Line1;
  ByteString Line2;
  friend bool operator==(const TDisplayFrame&, const TDisplayFrame&) = default;
};

class TDisplayDecoder {
 public:
  virtual ~TDisplayDecoder() = default;
  // Decodes `bytes`; returns the frames they completed, in order.
  virtual std::vector<TDisplayFrame> Feed(std::string_view bytes) = 0;
  // The input has paused: the frame in progress, when it changed since it was last returned.
  virtual std::optional<TDisplayFrame> Flush() = 0;
  // True when Flush would return a frame.
  virtual bool Pending() const noexcept = 0;
};

// Everything a display shows of input that came in `reads` with no pause between them, and a
// pause after the last: the frames Feed completed, then the one the pause completed.
std::vector<TDisplayFrame> DecodeReads(TDisplayDecoder& decoder, const std::vector<std::string>& reads);
// What a display shows once `decoder` has read `bytes` and the input paused: the last frame it
// completed (all blank when none).
TDisplayFrame ShownAfter(TDisplayDecoder& decoder, std::string_view bytes);

// The decoder of a display `columns` wide that speaks `protocol`. `wrap`: the display's cursor
// moves on to the start of the other line after the last column, as many displays do in
// overwrite mode (without it, text past the last column is not shown).
std::unique_ptr<TDisplayDecoder> MakeDisplayDecoder(TDisplayProtocol protocol, std::size_t columns, bool wrap);

}  // namespace kestova
