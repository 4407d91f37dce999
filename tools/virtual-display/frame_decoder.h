#pragma once
// Incremental decoder of the pole display's serial frames: 0x0C (form feed), line 1, 0x0A 0x0D
// (line feed, carriage return), line 2, in code page 852 bytes, each line as long as it comes (a
// display whose cursor wraps at its last column is the command-set decoder's). No byte ends a
// frame, so a frame is complete when the next form feed arrives, or when the input pauses after
// its line 2 has begun (the caller says so with Flush). Bytes that arrive after a pause still
// belong to line 2 and give an updated frame, as a real display keeps writing where its cursor is.
//
// Pure: no I/O, one thread at a time.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "tools/virtual-display/display_decoder.h"

namespace kestova {

class TFrameDecoder : public TDisplayDecoder {
 public:
  // Longer lines are cut here: the display has far fewer columns, and the input is untrusted.
  static constexpr std::size_t kMaxLineBytes = 256;

  // Decodes `bytes`; returns the frames they completed (by a following form feed), in order.
  // Bytes before the first form feed are ignored.
  std::vector<TDisplayFrame> Feed(std::string_view bytes) override;
  // The input has paused: the frame in progress, when its line 2 has begun and it changed since it
  // was last returned.
  std::optional<TDisplayFrame> Flush() override;
  // True when Flush would return a frame.
  bool Pending() const noexcept override { return FChanged; }

 private:
  enum class TState { WaitFormFeed, Line1, AfterLineFeed, Line2 };
  static void Append(ByteString& line, char byte);

  TState FState = TState::WaitFormFeed;
  TDisplayFrame FFrame;
  bool FChanged = false;
};

}  // namespace kestova
