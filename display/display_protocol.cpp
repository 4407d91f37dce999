#include "display/display_protocol.h"

#include <array>

#include "display/pole_display_protocol.h"
#include "display/text_shaping.h"
#include "platform/ascii_text.h"

namespace kestova {

namespace {

constexpr std::array<std::string_view, 5> kNames = {"frame", "epson", "cd5220", "logic-controls", "aedex"};

// Cursor to the first column of a row, both counted from 1: ESC/POS US $ x y, CD5220 ESC l x y.
ByteString LineStart(std::string_view command, int row) {
  ByteString bytes(command);
  bytes += '\x01';
  bytes += static_cast<char>(row);
  return bytes;
}

// Logic Controls: DLE and a position counted from 0 over both lines.
ByteString Position(int32_t position) { return ByteString{'\x10', static_cast<char>(position)}; }

}  // namespace

std::optional<TDisplayProtocol> DisplayProtocolByName(std::string_view name) {
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (SameText(name, kNames[i])) return static_cast<TDisplayProtocol>(i);
  return std::nullopt;
}

std::string_view DisplayProtocolName(TDisplayProtocol protocol) {
  return protocol < kNames.size() ? kNames[protocol] : std::string_view();
}

std::string DisplayProtocolNames() {
  std::string names;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (i > 0) names += i + 1 == kNames.size() ? " or " : ", ";
    names += kNames[i];
  }
  return names;
}

ByteString OpeningBytes(TDisplayProtocol protocol) {
  switch (protocol) {
    case prEpson:
    case prCd5220: return "\x1B\x40";         // initialise
    case prLogicControls: return "\x1F\x11";  // reset, overwrite mode
    default: return {};
  }
}

ByteString UpdateBytes(TDisplayProtocol protocol, const ByteString& line1, const ByteString& line2, int32_t width) {
  switch (protocol) {
    case prEpson:
    case prCd5220: {
      const std::string_view move = protocol == prEpson ? std::string_view("\x1F\x24") : std::string_view("\x1B\x6C");
      return "\x0C" + LineStart(move, 1) + line1 + LineStart(move, 2) + line2;
    }
    case prLogicControls:
      return Position(0) + ResizeString(line1, " ", width, ftRight) + Position(kLogicControlsLine2) +
             ResizeString(line2, " ", width, ftRight);
    case prAedex: return "!#1" + line1 + "\x0D" + "!#2" + line2 + "\x0D";
    default: return SerialFrame(line1, line2);
  }
}

}  // namespace kestova
