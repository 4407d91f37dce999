#include "tools/virtual-display/frame_decoder.h"

#include <utility>

namespace kestova {

namespace {
constexpr char kFormFeed = '\x0C';
constexpr char kLineFeed = '\x0A';
constexpr char kCarriageReturn = '\x0D';
}  // namespace

void TFrameDecoder::Append(ByteString& line, char byte) {
  if (line.size() < kMaxLineBytes) line += byte;
}

std::vector<TDisplayFrame> TFrameDecoder::Feed(std::string_view bytes) {
  std::vector<TDisplayFrame> complete;
  for (const char byte : bytes) {
    if (byte == kFormFeed) {
      if (FChanged) complete.push_back(std::move(FFrame));
      FFrame = TDisplayFrame{};
      FChanged = false;
      FState = TState::Line1;
      continue;
    }
    switch (FState) {
      case TState::WaitFormFeed: break;
      case TState::Line1:
        if (byte == kLineFeed) {
          FState = TState::AfterLineFeed;
          FChanged = true;  // from here on the frame can be shown, even with an empty line 2
        } else {
          Append(FFrame.Line1, byte);
        }
        break;
      case TState::AfterLineFeed:
        FState = TState::Line2;
        if (byte == kCarriageReturn) break;
        // A line feed without its carriage return: the byte already belongs to line 2.
        Append(FFrame.Line2, byte);
        break;
      case TState::Line2:
        Append(FFrame.Line2, byte);
        FChanged = true;
        break;
    }
  }
  return complete;
}

std::optional<TDisplayFrame> TFrameDecoder::Flush() {
  if (!FChanged) return std::nullopt;
  FChanged = false;
  return FFrame;
}

}  // namespace kestova
