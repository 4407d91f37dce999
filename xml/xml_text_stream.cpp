#include "xml/xml_text_stream.h"

#include "xml/xml_exception.h"

namespace kestova {

void TXMLTextStream::UndoRead() {
  if (!FCanUndo)
    throw EXMLException(TDOMCode::INVALID_CHARACTER_ERR, MSG_E_INTERNALERROR, "Only one undo level is supported");
  FCanUndo = false;
  FUndone = true;
}

void TXMLTextStream::SetCodePage(int codePage) {
  if (codePage == FCodePage) return;
  FLineHead += CurrentLine().substr(FLineHead.size());
  FLineStart = FBytePos;
  FCodePage = codePage;
}

std::u16string_view TXMLTextStream::GetOutputBuffer() {
  // Swapping keeps both strings' capacity, so steady parsing does not allocate here.
  FTaken.swap(FBuffer);
  FBuffer.clear();
  return FTaken;
}

int32_t TXMLTextStream::Decode(std::size_t& pos, int codePage) const noexcept {
  const std::size_t size = FData.size() * 2;
  if (codePage == kCodePageUtf16) {
    // An odd position after a byte-wise stretch: the unit straddles two stored units.
    if (pos + 2 > size) return kEndOfInput;
    const int32_t unit = ByteAt(pos) | (ByteAt(pos + 1) << 8);
    pos += 2;
    return unit;
  }
  if (pos >= size) return kEndOfInput;
  return DecodeCodePageByte(codePage, ByteAt(pos++));
}

std::u16string TXMLTextStream::CurrentLine() const {
  std::u16string line = FLineHead;
  std::size_t pos = FLineStart;
  while (pos < FBytePos) {
    const int32_t c = Decode(pos, FCodePage);
    if (c == kEndOfInput) break;
    line += static_cast<char16_t>(c);
  }
  return line;
}

}  // namespace kestova
