#include "rfid/cmd_line_splitter.h"

#include <algorithm>

#include "rfid/cmd_io_handler.h"

namespace kestova {

bool TCmdLineSplitter::Next(std::string& line) {
  const std::size_t lf = FPending.find('\n');
  std::size_t length = lf == std::string::npos ? FPending.size() : lf;
  if (length > 0 && FPending[length - 1] == '\r') --length;
  // Checked on complete lines too: whether the line feed came in the same piece as the byte
  // past the limit must not decide whether the line is taken.
  if (length > FMaxLineLength) throw ECmdLineTooLong();
  if (lf == std::string::npos) return false;
  line = FromAsciiBytes(std::string_view(FPending).substr(0, length));
  FPending.erase(0, lf + 1);
  return true;
}

std::size_t TCmdLineSplitter::Room() const noexcept {
  return FMaxLineLength + 2 - std::min(FPending.size(), FMaxLineLength + 1);
}

}  // namespace kestova
