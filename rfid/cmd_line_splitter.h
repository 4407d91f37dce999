#pragma once
// The line framing of the line-command client: received bytes in, lines out. A line is the bytes
// up to a line feed, without it and without a carriage return right before it, decoded as ASCII
// (bytes above 127 become U+FFFD). However the bytes arrive, in one piece or byte by byte, the
// same lines come out, and a line longer than the limit is refused the same way.
//
// Pure: no socket. Threads: one thread at a time (the client's listening thread).
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace kestova {

// A received line grew past the limit (TCmdLineSplitter::kMaxLineLength characters).
class ECmdLineTooLong : public Exception {
 public:
  ECmdLineTooLong() : Exception("Max line length exceeded.") {}
};

class TCmdLineSplitter {
 public:
  // The longest line accepted, without its CR LF.
  static constexpr std::size_t kMaxLineLength = 16384;

  explicit TCmdLineSplitter(std::size_t maxLineLength = kMaxLineLength) noexcept : FMaxLineLength(maxLineLength) {}

  // Received bytes, in pieces of any size.
  void Append(std::string_view bytes) { FPending.append(bytes); }
  // The next line into `line` and true; false while its line feed has not arrived. Raises
  // ECmdLineTooLong as soon as the line in progress is longer than the limit (a CR at its end
  // is not counted yet: its line feed may follow). A refused line stays refused.
  bool Next(std::string& line);
  // At most how many bytes to read after Next returned false: enough to complete the longest
  // line allowed, and no more, so an endless line is refused without buffering it.
  std::size_t Room() const noexcept;

 private:
  std::size_t FMaxLineLength;
  std::string FPending;  // received bytes not yet returned as a line
};

}  // namespace kestova
