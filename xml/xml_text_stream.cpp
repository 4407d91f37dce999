#include "xml/xml_text_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/text_codec.h"
#include "xml/xml_exception.h"

namespace kestova {
namespace {

[[noreturn]] void SecondUndo() {
  throw EXMLException(TDOMCode::INVALID_CHARACTER_ERR, MSG_E_INTERNALERROR, "Only one undo level is supported");
}

bool IsContinuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }
bool IsHigh(char16_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// UTF-16 units of valid UTF-8: one per sequence, two for a four-byte one.
std::size_t UnitCount(const unsigned char* from, const unsigned char* to) noexcept {
  std::size_t units = 0;
  for (const unsigned char* p = from; p != to; ++p) units += IsContinuation(*p) ? 0 : (*p >= 0xF0 ? 2 : 1);
  return units;
}

}  // namespace

// --- collection buffer -----------------------------------------------------------------------

void TCollectBuffer::Materialize() {
  if (FView == nullptr) return;
  const char* view = FView;
  FView = nullptr;
  FLength = 0;
  AppendCopy(view, FViewLength);
}

void TCollectBuffer::AppendCopy(const char* bytes, std::size_t count) {
  Materialize();
  if (FHigh != 0) Flush();
  if (FLength + count > FCapacity) Grow(FLength + count);
  std::memcpy(FData + FLength, bytes, count);
  FLength += count;
}

void TCollectBuffer::Flush() {
  if (FHigh == 0) return;
  FHigh = 0;
  PushCodePoint(0xFFFD);
}

void TCollectBuffer::PushUnit(char16_t unit) {
  Materialize();
  if (FHigh != 0) {
    if (IsLow(unit)) {
      const char32_t codePoint = 0x10000 + ((static_cast<char32_t>(FHigh) - 0xD800) << 10) + (unit - 0xDC00);
      FHigh = 0;
      return PushCodePoint(codePoint);
    }
    Flush();
  }
  if (IsHigh(unit)) {
    FHigh = unit;
    return;
  }
  PushCodePoint(IsLow(unit) ? 0xFFFD : unit);
}

void TCollectBuffer::PushCodePoint(char32_t codePoint) {
  std::string bytes;  // at most four bytes: no allocation
  AppendUtf8(bytes, codePoint);
  if (FLength + bytes.size() > FCapacity) Grow(FLength + bytes.size());
  std::memcpy(FData + FLength, bytes.data(), bytes.size());
  FLength += bytes.size();
}

void TCollectBuffer::Grow(std::size_t needed) {
  std::size_t capacity = FCapacity;
  while (capacity < needed) capacity *= 2;
  auto grown = std::make_unique<char[]>(capacity);
  std::memcpy(grown.get(), FData, FLength);
  FHeap = std::move(grown);
  FData = FHeap.get();
  FCapacity = capacity;
}

// --- reading ---------------------------------------------------------------------------------

int32_t TXMLTextStream::ReadOther() {
  if (!FWalk) return ReadCounted();
  if (FPendingLow != 0) return std::exchange(FPendingLow, 0);
  if (FCur == FEnd) {
    FEndRead = true;
    FEndUndone = false;
    return kEndOfInput;
  }
  std::size_t pos = WalkOffset();
  const char32_t codePoint = NextCodePoint(FInput, pos);
  FCur = Begin() + pos;
  if (codePoint < 0x10000) return static_cast<int32_t>(codePoint);
  FPendingLow = static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
  return static_cast<int32_t>(0xD800 + ((codePoint - 0x10000) >> 10));
}

int32_t TXMLTextStream::ReadCounted() {
  if (FUndone) {
    FUndone = false;
    FCanUndo = true;
    return FLastChar;
  }
  const int32_t c = Decode(FBytePos, FCodePage);
  if (c == '\n') {
    ++FLine;
    FLinePos = 0;
    FLineStart = FBytePos;
    FLineHead.clear();
  } else if (c != kEndOfInput) {
    ++FLinePos;
  }
  if (c != kEndOfInput) ++FCharCount;
  FLastChar = c;
  FCanUndo = true;
  return c;
}

void TXMLTextStream::UndoOther() {
  if (!FWalk) {
    if (!FCanUndo) SecondUndo();
    FCanUndo = false;
    FUndone = true;
    return;
  }
  if (FCur == FUndoneCur && FPendingLow == FUndonePending) SecondUndo();
  if (FEndRead && FCur == FEnd) {  // the last read was the end of input
    if (FEndUndone) SecondUndo();
    FEndUndone = true;
    return;
  }
  if (FPendingLow != 0) {
    // The last read gave the high half of a four-byte character: read it whole again.
    FPendingLow = 0;
    FCur -= 4;
  } else {
    if (FCur == Begin()) SecondUndo();  // nothing has been read
    const unsigned char* start = FCur - 1;
    while (IsContinuation(*start)) --start;
    if (*start >= 0xF0) {
      // The last read gave the low half: only that half comes again.
      std::size_t pos = static_cast<std::size_t>(start - Begin());
      const char32_t codePoint = NextCodePoint(FInput, pos);
      FPendingLow = static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    } else {
      FCur = start;
    }
  }
  FUndoneCur = FCur;
  FUndonePending = FPendingLow;
}

void TXMLTextStream::SetCodePage(int codePage) {
  if (codePage == FCodePage) return;
  if (FWalk) {
    // From here on the rest of the input is read as its UTF-16 data, with counting. (The
    // parser switches right after reading "?>", so no push-back is pending here.)
    FCharCount = CharactersRead();
    FLine = LinesRead();
    FLinePos = LinePosition();
    FLineHead = CurrentLine();
    FLastChar = LastChar();
    FCanUndo = true;
    FData.clear();
    if (FPendingLow != 0) FData += FPendingLow;
    FData += Utf8ToUtf16(FInput.substr(WalkOffset()));
    FBytePos = 0;
    FLineStart = 0;
    FWalk = false;
  } else {
    FLineHead = CurrentLine();
    FLineStart = FBytePos;
  }
  FCodePage = codePage;
}

std::string_view TXMLTextStream::GetOutputBuffer() {
  FBuffer->Flush();
  std::swap(FBuffer, FTaken);
  FBuffer->Clear();
  return FTaken->View();
}

int32_t TXMLTextStream::Decode(std::size_t& pos, int codePage) const noexcept {
  const std::size_t size = FData.size() * 2;
  if (codePage == kCodePageUtf16) {
    // At an odd position after a byte-wise stretch a unit straddles two stored units; a lone
    // last byte is dropped.
    if (pos + 2 > size) return kEndOfInput;
    const int32_t unit = ByteAt(pos) | (ByteAt(pos + 1) << 8);
    pos += 2;
    return unit;
  }
  if (pos >= size) return kEndOfInput;
  return DecodeCodePageByte(codePage, ByteAt(pos++));
}

// --- positions for error reports -------------------------------------------------------------

std::size_t TXMLTextStream::WalkLineStart() const noexcept {
  const std::size_t offset = WalkOffset();
  const std::size_t lf = FInput.substr(0, offset).rfind('\n');
  return lf == std::string_view::npos ? 0 : lf + 1;
}

std::u16string TXMLTextStream::WalkLine() const {
  const std::size_t start = WalkLineStart();
  std::u16string line = Utf8ToUtf16(FInput.substr(start, WalkOffset() - start));
  if (FPendingLow != 0) line.pop_back();
  return line;
}

int32_t TXMLTextStream::CharactersRead() const {
  if (!FWalk) return FCharCount;
  return static_cast<int32_t>(UnitCount(Begin(), FCur) - (FPendingLow != 0 ? 1 : 0));
}

int32_t TXMLTextStream::LinesRead() const {
  if (!FWalk) return FLine;
  return static_cast<int32_t>(std::count(Begin(), FCur, static_cast<unsigned char>('\n')));
}

int32_t TXMLTextStream::LinePosition() const {
  if (!FWalk) return FLinePos;
  return static_cast<int32_t>(UnitCount(Begin() + WalkLineStart(), FCur) - (FPendingLow != 0 ? 1 : 0));
}

int32_t TXMLTextStream::LastChar() const {
  if (!FWalk) return FLastChar;
  if (FEndRead && FCur == FEnd) return kEndOfInput;
  if (FCur == Begin()) return kEndOfInput;
  const unsigned char* start = FCur - 1;
  while (IsContinuation(*start)) --start;
  std::size_t pos = static_cast<std::size_t>(start - Begin());
  const char32_t codePoint = NextCodePoint(FInput, pos);
  if (codePoint < 0x10000) return static_cast<int32_t>(codePoint);
  // A four-byte character: its high half when the low one is still to come, else the low half.
  if (FPendingLow != 0) return 0xD800 + static_cast<int32_t>((codePoint - 0x10000) >> 10);
  return 0xDC00 + static_cast<int32_t>((codePoint - 0x10000) & 0x3FF);
}

std::u16string TXMLTextStream::CurrentLine() const {
  if (FWalk) return WalkLine();
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
