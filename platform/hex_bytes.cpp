#include "platform/hex_bytes.h"

#include "platform/ascii_text.h"

namespace kestova {

std::optional<std::string> BytesFromHex(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() / 2);
  int high = -1;
  for (const char c : text) {
    if ((c == ' ' || c == '\t') && high < 0) continue;
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    if (high < 0) {
      high = digit;
    } else {
      bytes += static_cast<char>(high << 4 | digit);
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

}  // namespace kestova
