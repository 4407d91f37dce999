#pragma once
// The parser's character stream: one UTF-16 code unit per read, one level of push-back, line
// counting for error reports, and the collection buffer for names, values and text.
//
// The input is the UTF-16 little-endian form of the loaded text. An xml declaration may switch
// the code page: in any page but UTF-16 every following byte of that data is one character.
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/code_pages.h"

namespace kestova {

class TXMLTextStream {
 public:
  static constexpr int32_t kEndOfInput = -1;

  explicit TXMLTextStream(std::u16string data) : FData(std::move(data)) { FBuffer.reserve(256); }

  // The next code unit, or kEndOfInput (again and again at the end).
  int32_t ReadChar() {
    if (FUndone) {
      FUndone = false;
      FCanUndo = true;
      return FLastChar;
    }
    int32_t c;
    if (FCodePage == kCodePageUtf16 && (FBytePos & 1) == 0) {
      const std::size_t index = FBytePos >> 1;
      if (index >= FData.size()) {
        c = kEndOfInput;
      } else {
        c = FData[index];
        FBytePos += 2;
      }
    } else {
      c = Decode(FBytePos, FCodePage);
    }
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

  // The next read returns the last character again. A second push-back without a read in
  // between raises EXMLException MSG_E_INTERNALERROR.
  void UndoRead();

  int CodePage() const noexcept { return FCodePage; }
  // Takes effect from the next character on.
  void SetCodePage(int codePage);

  void WriteOutputChar(char16_t c) { FBuffer.push_back(c); }
  // Takes the buffer's text and empties the buffer; the text stays readable (and is kept as
  // the last taken text for error reports) until the next take.
  std::u16string_view GetOutputBuffer();
  void ClearOutputBuffer() noexcept { FBuffer.clear(); }
  std::u16string_view OutputBuffer() const noexcept { return FBuffer; }
  std::size_t OutputBufferLen() const noexcept { return FBuffer.size(); }

  // For error reports.
  int32_t CharactersRead() const noexcept { return FCharCount; }
  int32_t LinesRead() const noexcept { return FLine; }
  int32_t LinePosition() const noexcept { return FLinePos; }
  int32_t LastChar() const noexcept { return FLastChar; }
  std::u16string_view LastTaken() const noexcept { return FTaken; }
  // The current line up to the position reached.
  std::u16string CurrentLine() const;

 private:
  uint8_t ByteAt(std::size_t pos) const noexcept {
    const char16_t unit = FData[pos >> 1];
    return static_cast<uint8_t>((pos & 1) ? unit >> 8 : unit & 0xFF);
  }
  // Reads one character at `pos` in `codePage` and advances `pos`.
  int32_t Decode(std::size_t& pos, int codePage) const noexcept;

  std::u16string FData;
  std::size_t FBytePos = 0;
  int FCodePage = kCodePageUtf16;

  int32_t FLastChar = kEndOfInput;
  bool FUndone = false;
  bool FCanUndo = false;

  int32_t FCharCount = 0;
  int32_t FLine = 0;
  int32_t FLinePos = 0;
  std::size_t FLineStart = 0;  // byte position where the current line (or its part read in the current code page) starts
  std::u16string FLineHead;    // the part of the current line read before a code-page switch

  std::u16string FBuffer;
  std::u16string FTaken;
};

}  // namespace kestova
