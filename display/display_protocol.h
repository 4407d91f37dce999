#pragma once
// The command sets the serial pole display can be driven with ([Settings] DisplayProtocol).
//
// prFrame is the server's own frame (form feed, line 1, line feed, carriage return, line 2). It
// leans on the display's cursor: on a display that moves its cursor to the lower line after the
// last column of the upper one, the line feed then takes it back up and a full-width line 1 is
// overwritten by line 2. The other sets place each line at an explicit position:
//
//   set             opening bytes   each update
//   epson           1B 40           0C, 1F 24 01 01 + line 1, 1F 24 01 02 + line 2
//   cd5220          1B 40           0C, 1B 6C 01 01 + line 1, 1B 6C 01 02 + line 2
//   logic-controls  1F, 11          10 00 + line 1, 10 14 + line 2, each filled with spaces to the width
//   aedex           (none)          21 23 31 + line 1 + 0D, 21 23 32 + line 2 + 0D
//
// (epson: ESC/POS customer display "initialise", "clear", US $ column row, counted from 1;
// cd5220: ESC @, clear, ESC l column row; logic-controls: reset, overwrite mode, DLE position
// counted from 0, line 2 at 20; aedex: "!#1" and "!#2" line commands ended by a carriage return.)
// Logic Controls displays have no clear command in an update: the spaces clear the rest of the line.
//
// Thread safety: pure functions.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text_codec.h"

namespace kestova {

enum TDisplayProtocol : uint8_t { prFrame = 0, prEpson = 1, prCd5220 = 2, prLogicControls = 3, prAedex = 4 };

inline constexpr TDisplayProtocol kDefaultDisplayProtocol = prFrame;

// Where the logic-controls set places line 2, whatever the width: a longer line 1 runs into it.
inline constexpr int32_t kLogicControlsLine2 = 20;

// The set a settings value names, letter case ignored; nullopt for any other value.
std::optional<TDisplayProtocol> DisplayProtocolByName(std::string_view name);
// The name the settings use: "frame", "epson", "cd5220", "logic-controls", "aedex".
std::string_view DisplayProtocolName(TDisplayProtocol protocol);
// Every name, for messages: "frame, epson, cd5220, logic-controls or aedex".
std::string DisplayProtocolNames();

// What the display needs once the port is opened, before the first update.
ByteString OpeningBytes(TDisplayProtocol protocol);
// One update showing the two prepared lines (already cut to `width`).
ByteString UpdateBytes(TDisplayProtocol protocol, const ByteString& line1, const ByteString& line2, int32_t width);

}  // namespace kestova
