#pragma once
// The character cells of a two-line display and its cursor, for the command sets that place
// text by moving the cursor.
//
// Pure: one thread at a time.
#include <array>
#include <cstddef>

#include "platform/text_codec.h"
#include "tools/virtual-display/display_decoder.h"

namespace kestova {

class TDisplayScreen {
 public:
  static constexpr std::size_t kRows = 2;

  // `wrap`: after the last column the cursor moves to the start of the other line (from the
  // lower line back to the upper one); without it, text past the last column is not shown.
  TDisplayScreen(std::size_t columns, bool wrap);

  std::size_t Columns() const noexcept { return FColumns; }
  // All cells blank, the cursor at the start of the upper line.
  void Clear();
  // One line blank, the cursor at its start.
  void ClearRow(std::size_t row);
  // The cursor to a cell counted from 0; a cell outside the display leaves it where it is.
  void MoveTo(std::size_t row, std::size_t column);
  // The byte into the cell under the cursor, which moves on.
  void Put(char byte);
  void CarriageReturn() noexcept { FColumn = 0; }
  // Down one line; from the lower line back up to the upper one, as displays in overwrite mode do.
  void LineFeed() noexcept { FRow = (FRow + 1) % kRows; }
  // What the two lines show, without their trailing blanks.
  TDisplayFrame Shown() const;

 private:
  std::size_t FColumns;
  bool FWrap;
  std::array<ByteString, kRows> FCells;
  std::size_t FRow = 0;
  std::size_t FColumn = 0;
};

}  // namespace kestova
