#pragma once
// A display that speaks one of the command sets of display/display_protocol.h, decoded onto its
// character cells:
//
//   epson           0C clear; 1B 40 initialise; 1B 74 n code table; 1F 24 x y cursor to column
//                   x, line y (from 1)
//   cd5220          0C clear; 1B 40 initialise; 1B 74 n code table; 1B 6C x y cursor to column
//                   x, line y (from 1)
//   logic-controls  1F reset; 11 overwrite mode; 10 n cursor to position n (from 0, the lower
//                   line beginning after the last column of the upper one)
//   aedex           21 23 31 (!#1) upper line, 21 23 32 (!#2) lower line: the line is blanked
//                   and the text up to 0D written into it
//   frame           0C clear; 0A line feed; 0D carriage return (with a cursor, for a display
//                   that wraps: without wrapping the frame decoder reads frames as they are meant)
//
// Every other byte is put into the cell under the cursor as it is: text, or, for a control byte
// or the first byte of a command the set does not have, a cell the box draws as a marker. A
// clear (or initialise, or reset) completes the frame shown before it; otherwise a frame is what
// the display shows once the input pauses.
//
// Pure: no I/O, one thread at a time.
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "display/display_protocol.h"
#include "tools/virtual-display/display_decoder.h"
#include "tools/virtual-display/display_screen.h"

namespace kestova {

class TCommandSetDecoder : public TDisplayDecoder {
 public:
  TCommandSetDecoder(TDisplayProtocol protocol, std::size_t columns, bool wrap);

  std::vector<TDisplayFrame> Feed(std::string_view bytes) override;
  std::optional<TDisplayFrame> Flush() override;
  bool Pending() const noexcept override { return FScreen.Shown() != FShown; }

  enum class TAction : uint8_t { Clear, Ignore, ColumnRow, Position, LineFeed, CarriageReturn, Line1, Line2, LineEnd };
  struct TCommand {
    std::string_view Prefix;
    std::size_t Arguments;
    TAction Action;
  };

 private:
  void Take(char byte, std::vector<TDisplayFrame>& complete);
  void Run(const TCommand& command, std::string_view arguments, std::vector<TDisplayFrame>& complete);

  std::span<const TCommand> FCommands;
  TDisplayScreen FScreen;
  ByteString FCommand;   // the bytes of a command that is not complete yet
  TDisplayFrame FShown;  // the frame last reported
};

}  // namespace kestova
