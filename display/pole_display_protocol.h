#pragma once
// What the pole display understands: the serial frame of one update, and the USB library's
// escape commands.
#include <string_view>

#include "platform/text_codec.h"

namespace kestova {

inline constexpr std::string_view alRight = "R";
inline constexpr std::string_view alLeft = "L";

inline constexpr std::string_view cmdClear{"\x1B\x49", 2};
inline constexpr std::string_view cmdL1{"\x1B\x48\x00", 3};
// Line 2 always starts at position 20, whatever width the settings give.
inline constexpr std::string_view cmdL2{"\x1B\x48\x14", 3};

// Form feed, line 1, line feed, carriage return, line 2; nothing follows.
inline ByteString SerialFrame(const ByteString& line1, const ByteString& line2) {
  ByteString frame;
  frame.reserve(line1.size() + line2.size() + 3);
  frame += '\x0C';
  frame += line1;
  frame += "\x0A\x0D";
  frame += line2;
  return frame;
}

}  // namespace kestova
