#pragma once
// The parser's character stream: one UTF-16 code unit per read, one level of push-back, line
// counting for error reports, and the collection buffer for names, values and text.
//
// The text is read as its UTF-16 form, code unit by code unit (a character above U+FFFF as its
// two surrogates). Until a code page is switched, the stream walks the UTF-8 input itself and
// collects UTF-8, so nothing is converted twice; lines and positions are worked out only when
// an error report asks for them. An xml declaration may switch the code page: the stream then
// reads the UTF-16 little-endian data of the rest of the input, where in any page but UTF-16
// every byte is one character, and counts as it reads.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "xml/code_pages.h"

namespace kestova {

// The collection buffer: UTF-8 bytes, the first 256 inline, doubling on the heap beyond. Code
// units are written one at a time; a high surrogate waits for its low one, and a surrogate
// without its partner is written as U+FFFD. A token that is one run of input bytes (most names
// and plain text) is not copied at all: the buffer then views the input until more is written.
class TCollectBuffer {
 public:
  TCollectBuffer() noexcept { FData = FInline.data(); }
  TCollectBuffer(const TCollectBuffer&) = delete;
  TCollectBuffer& operator=(const TCollectBuffer&) = delete;

  void Push(char16_t unit) {
    if (unit < 0x80 && FHigh == 0 && FView == nullptr) {
      if (FLength == FCapacity) Grow(FLength + 1);
      FData[FLength++] = static_cast<char>(unit);
      return;
    }
    PushUnit(unit);
  }
  // Appends UTF-8 bytes as they are; `bytes` must stay valid while the buffer may view them.
  void Append(const char* bytes, std::size_t count) {
    if (FLength == 0 && FHigh == 0 && FView == nullptr) {
      FView = bytes;
      FViewLength = count;
      return;
    }
    AppendCopy(bytes, count);
  }
  void Clear() noexcept {
    FLength = 0;
    FHigh = 0;
    FView = nullptr;
  }
  bool Empty() const noexcept { return FLength == 0 && FHigh == 0 && FView == nullptr; }
  // The bytes so far; a high surrogate still waiting for its partner is not among them.
  std::string_view View() const noexcept {
    return FView ? std::string_view(FView, FViewLength) : std::string_view(FData, FLength);
  }
  // Writes a waiting high surrogate as U+FFFD.
  void Flush();

 private:
  void PushUnit(char16_t unit);
  void PushCodePoint(char32_t codePoint);
  void AppendCopy(const char* bytes, std::size_t count);
  // Copies a viewed run into the buffer's own storage before anything is added to it.
  void Materialize();
  void Grow(std::size_t needed);

  std::array<char, 256> FInline;
  std::unique_ptr<char[]> FHeap;
  char* FData = nullptr;
  std::size_t FLength = 0;
  std::size_t FCapacity = 256;
  char16_t FHigh = 0;
  const char* FView = nullptr;
  std::size_t FViewLength = 0;
};

// Not movable: it points into its own buffers. The input must outlive the stream.
class TXMLTextStream {
 public:
  static constexpr int32_t kEndOfInput = -1;

  // `utf8` must be valid UTF-8.
  explicit TXMLTextStream(std::string_view utf8) noexcept
      : FInput(utf8), FCur(reinterpret_cast<const unsigned char*>(utf8.data())), FEnd(FCur + utf8.size()) {}
  TXMLTextStream(const TXMLTextStream&) = delete;
  TXMLTextStream& operator=(const TXMLTextStream&) = delete;

  // The next code unit, or kEndOfInput (again and again at the end).
  int32_t ReadChar() {
    if (FWalk && FPendingLow == 0 && FCur != FEnd && *FCur < 0x80) return *FCur++;
    return ReadOther();
  }

  // Which input bytes a run may hold: an ASCII character, or (entries 0x80 to 0xFF) the bytes
  // of any character beyond ASCII.
  using TByteSet = std::array<bool, 256>;

  // Collects the characters ahead while their bytes are in `keep` and reads past them, as that
  // many ReadChar and WriteOutputChar calls would. The first other character is left to the next
  // read. Collects nothing once a code page has been switched; the caller's own loop reads on.
  void CollectWhile(const TByteSet& keep) {
    if (!FWalk || FPendingLow != 0) return;
    const unsigned char* p = FCur;
    while (p != FEnd && keep[*p]) ++p;
    if (p != FCur) {
      FBuffer->Append(reinterpret_cast<const char*>(FCur), static_cast<std::size_t>(p - FCur));
      FCur = p;
    }
  }

  // True when the next character is the ASCII character `c`; it is not read. Says false when
  // it cannot tell cheaply (after a code-page switch): the caller then reads as usual.
  bool PeekAscii(char c) const noexcept {
    return FWalk && FPendingLow == 0 && FCur != FEnd && *FCur == static_cast<unsigned char>(c);
  }

  // The next read returns the last character again. A second push-back without a read in
  // between raises EXMLException MSG_E_INTERNALERROR.
  void UndoRead() {
    // The common case: an ASCII character read on the walk.
    if (FWalk && FPendingLow == 0 && FCur != Begin() && FCur[-1] < 0x80 && FCur != FUndoneCur &&
        !(FEndRead && FCur == FEnd)) {
      FUndoneCur = --FCur;
      FUndonePending = 0;
      return;
    }
    UndoOther();
  }

  int CodePage() const noexcept { return FCodePage; }
  // Takes effect from the next character on.
  void SetCodePage(int codePage);

  void WriteOutputChar(char16_t c) { FBuffer->Push(c); }
  // Takes the buffer's text (UTF-8) and empties the buffer; the text stays readable (and is
  // kept as the last taken text for error reports) until the next take.
  std::string_view GetOutputBuffer();
  void ClearOutputBuffer() noexcept { FBuffer->Clear(); }
  std::string_view OutputBuffer() const noexcept { return FBuffer->View(); }
  bool OutputBufferEmpty() const noexcept { return FBuffer->Empty(); }

  // For error reports.
  int32_t CharactersRead() const;
  int32_t LinesRead() const;
  int32_t LinePosition() const;
  int32_t LastChar() const;
  std::string_view LastTaken() const noexcept { return FTaken->View(); }
  // The current line up to the position reached, as UTF-16.
  std::u16string CurrentLine() const;

 private:
  int32_t ReadOther();
  void UndoOther();
  int32_t ReadCounted();
  // The walk's position as units: characters, lines, the start of the current line.
  std::size_t WalkOffset() const noexcept { return static_cast<std::size_t>(FCur - Begin()); }
  const unsigned char* Begin() const noexcept { return reinterpret_cast<const unsigned char*>(FInput.data()); }
  std::size_t WalkLineStart() const noexcept;
  std::u16string WalkLine() const;

  uint8_t ByteAt(std::size_t pos) const noexcept {
    const char16_t unit = FData[pos >> 1];
    return static_cast<uint8_t>((pos & 1) ? unit >> 8 : unit & 0xFF);
  }
  // Reads one character at `pos` in `codePage` and advances `pos`.
  int32_t Decode(std::size_t& pos, int codePage) const noexcept;

  std::string_view FInput;
  int FCodePage = kCodePageUtf16;

  // The walk over the UTF-8 input.
  bool FWalk = true;
  const unsigned char* FCur;
  const unsigned char* FEnd;
  char16_t FPendingLow = 0;  // the second half of a character above U+FFFF, read next
  bool FEndRead = false;
  bool FEndUndone = false;
  const unsigned char* FUndoneCur = nullptr;  // the walk's state right after the last push-back
  char16_t FUndonePending = 0;

  // After a code-page switch: the UTF-16LE data of the rest of the input, read with counting.
  std::u16string FData;
  std::size_t FBytePos = 0;
  int32_t FLastChar = kEndOfInput;
  bool FUndone = false;
  bool FCanUndo = false;
  int32_t FCharCount = 0;
  int32_t FLine = 0;
  int32_t FLinePos = 0;
  std::size_t FLineStart = 0;  // byte position where the part of the line read in this code page starts
  std::u16string FLineHead;    // the part of the current line read before that

  // The collection buffer and the last taken text trade places at each take.
  TCollectBuffer FBuffers[2];
  TCollectBuffer* FBuffer = &FBuffers[0];
  TCollectBuffer* FTaken = &FBuffers[1];
};

}  // namespace kestova
