#include "tools/virtual-display/display_screen.h"

namespace kestova {

namespace {

ByteString WithoutTrailingBlanks(const ByteString& cells) {
  const std::size_t end = cells.find_last_not_of(' ');
  return end == ByteString::npos ? ByteString() : cells.substr(0, end + 1);
}

}  // namespace

TDisplayScreen::TDisplayScreen(std::size_t columns, bool wrap) : FColumns(columns), FWrap(wrap) { Clear(); }

void TDisplayScreen::Clear() {
  for (std::size_t row = 0; row < kRows; ++row) FCells[row].assign(FColumns, ' ');
  FRow = 0;
  FColumn = 0;
}

void TDisplayScreen::ClearRow(std::size_t row) {
  if (row >= kRows) return;
  FCells[row].assign(FColumns, ' ');
  FRow = row;
  FColumn = 0;
}

void TDisplayScreen::MoveTo(std::size_t row, std::size_t column) {
  if (row >= kRows || column >= FColumns) return;
  FRow = row;
  FColumn = column;
}

void TDisplayScreen::Put(char byte) {
  if (FColumn >= FColumns) return;  // past the last column of a display that does not wrap
  FCells[FRow][FColumn++] = byte;
  if (FColumn == FColumns && FWrap) {
    FColumn = 0;
    LineFeed();
  }
}

TDisplayFrame TDisplayScreen::Shown() const {
  return {WithoutTrailingBlanks(FCells[0]), WithoutTrailingBlanks(FCells[1])};
}

}  // namespace kestova
