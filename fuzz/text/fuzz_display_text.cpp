// Arbitrary bytes through the conversions a packet's line goes through on its way to the display:
// UTF-8 decoding, Windows-1250, StringTo852, PreProcess, and the fill routines, at widths taken
// from the input (byte 0: the width, byte 1: a fill text of one to three bytes; the rest is the
// text). Invariants:
//  - The only exception is EEncodingError with the no-mapping message, and only for text that is
//    not valid UTF-8 (it is raised for all such text by every UTF-8 reader).
//  - Valid UTF-8 decodes to code points that encode back to the same bytes (no overlong form, no
//    surrogate, nothing above U+10FFFF), also through UTF-16; counts and cuts count characters.
//  - Windows-1250 gives exactly one byte per character, ASCII unchanged in its place.
//  - StringTo852 agrees with a one-pass model of its table: each letter byte to its code page
//    852 byte, and the text "[malidz]" to 0xD0 (đ); it never makes a line longer.
//  - PreProcess gives at most Width bytes (none for a Width of 0 or less), no comma, the start
//    of the converted line.
//  - StrExactL and StrExactR give exactly the width; ResizeString fills to at least the width
//    and less than one fill text more, never cuts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "display/text_shaping.h"
#include "fuzz/fuzz_support.h"
#include "platform/exception.h"
#include "platform/text_codec.h"

namespace {

using namespace kestova;
using fuzz::Check;

// Runs `f`, which must raise the no-mapping error.
template <typename F>
void ExpectNoMapping(F&& f, const char* what) {
  try {
    f();
  } catch (const EEncodingError& e) {
    Check(std::string_view(e.what()) == kNoMappingMessage, what);
    return;
  }
  Check(false, what);
}

// StringTo852 in one pass: the table's letters moved byte by byte, "[malidz]" as one character.
ByteString Model852(std::string_view s) {
  static constexpr std::string_view kPlaceholder = "[malidz]";
  ByteString out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s.substr(i, kPlaceholder.size()) == kPlaceholder) {
      out += '\xD0';
      i += kPlaceholder.size() - 1;
      continue;
    }
    switch (static_cast<unsigned char>(s[i])) {
      case 0xE8: out += '\x9F'; break;
      case 0x9A: out += '\xE7'; break;
      case 0x9E: out += '\xA7'; break;
      case 0xE6: out += '\x86'; break;
      case 0xF0: out += '\xD0'; break;
      case 0xC8: out += '\xAC'; break;
      case 0x8A: out += '\xE6'; break;
      case 0x8E: out += '\xA6'; break;
      case 0xC6: out += '\x8F'; break;
      case 0xD0: out += '\xD1'; break;
      default: out += s[i];
    }
  }
  return out;
}

void Utf8(std::string_view text, std::size_t cut) {
  const bool valid = IsValidUtf8(text);
  if (!valid) {
    ExpectNoMapping([&] { DecodeUtf8(text); }, "DecodeUtf8 of invalid text");
    ExpectNoMapping([&] { Utf8ToUtf16(text); }, "Utf8ToUtf16 of invalid text");
    ExpectNoMapping([&] { UnicodeToWindows1250(text); }, "UnicodeToWindows1250 of invalid text");
    return;
  }
  Check(DecodeUtf8(text) == text, "DecodeUtf8 of valid text");
  std::string again;
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < text.size(); ++characters) {
    const char32_t cp = NextCodePoint(text, pos);
    Check(cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF), "a code point that UTF-8 cannot carry");
    AppendUtf8(again, cp);
  }
  Check(again == text, "code points do not encode back to the same bytes");
  Check(characters == Utf8Length(text), "Utf8Length");
  Check(Utf16ToUtf8(Utf8ToUtf16(text)) == text, "UTF-16 round trip");
  const std::string left = Utf8Left(text, cut);
  Check(text.substr(0, left.size()) == left && IsValidUtf8(left), "Utf8Left is no whole-character start");
  Check(Utf8Length(left) == std::min(cut, characters), "Utf8Left length");

  const ByteString cp1250 = UnicodeToWindows1250(text);
  Check(cp1250.size() == characters, "Windows-1250 is not one byte per character");
  std::size_t at = 0;
  for (std::size_t pos = 0; pos < text.size(); ++at) {
    const char32_t cp = NextCodePoint(text, pos);
    if (cp < 0x80) Check(cp1250[at] == static_cast<char>(cp), "ASCII changed by Windows-1250");
  }
}

void Shaping(const ByteString& line, int32_t width, int32_t fillWidth, const ByteString& fill) {
  const ByteString cp852 = StringTo852(line);
  Check(cp852 == Model852(line), "StringTo852 disagrees with its table");
  Check(cp852.size() <= line.size(), "StringTo852 made the line longer");

  ByteString periods = line;
  for (char& c : periods)
    if (c == ',') c = '.';
  const ByteString shown = PreProcess(line, width);
  const std::size_t limit = width <= 0 ? 0 : static_cast<std::size_t>(width);
  Check(shown.size() <= limit, "PreProcess beyond the width");
  Check(shown.find(',') == ByteString::npos, "PreProcess left a comma");
  Check(Model852(periods).substr(0, shown.size()) == shown && shown.size() == std::min(limit, Model852(periods).size()),
        "PreProcess is not the start of the converted line");

  const std::size_t exact = fillWidth <= 0 ? 0 : static_cast<std::size_t>(fillWidth);
  const ByteString left = StrExactL(line, " ", fillWidth);
  const ByteString right = StrExactR(line, " ", fillWidth);
  Check(left.size() == exact && right.size() == exact, "StrExact is not exact");
  if (line.size() >= exact) {
    Check(left == line.substr(line.size() - exact) && right == left, "StrExact does not keep the end");
  } else {
    Check(left == ByteString(exact - line.size(), ' ') + line, "StrExactL does not right-align");
    Check(right == line + ByteString(exact - line.size(), ' '), "StrExactR does not left-align");
  }
  for (const TFillType side : {ftLeft, ftRight}) {
    const ByteString filled = ResizeString(line, fill, fillWidth, side);
    if (line.size() >= exact) {
      Check(filled == line, "ResizeString changed a long enough line");
    } else {
      Check(filled.size() >= exact && filled.size() < exact + fill.size(), "ResizeString width");
      const ByteString kept =
          side == ftLeft ? filled.substr(filled.size() - line.size()) : filled.substr(0, line.size());
      Check(kept == line, "ResizeString moved the line");
    }
  }
}

// Widths as the settings can give them: usual ones, none, negative ones and the extremes.
int32_t Width(uint8_t b) {
  switch (b % 8) {
    case 0: return std::numeric_limits<int32_t>::max();
    case 1: return std::numeric_limits<int32_t>::min();
    case 2: return -static_cast<int32_t>(b / 8);
    default: return b / 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const uint8_t widthByte = data[0];
  const ByteString fill(reinterpret_cast<const char*>(data + 1), std::min<std::size_t>(1 + data[1] % 3, size - 1));
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  Utf8(text, widthByte);
  // A fill routine's width is what it allocates: kept to widths a display could have.
  const int32_t fillWidth = static_cast<int32_t>(widthByte) - 8;
  Shaping(ByteString(text), Width(widthByte), fillWidth, fill);
  // The message handler's way: a packet's line, in Windows-1250, prepared and right-aligned.
  if (IsValidUtf8(text)) {
    const int32_t width = 1 + widthByte % 80;
    const ByteString line = StrExactL(PreProcess(UnicodeToWindows1250(text), width), " ", width);
    Check(line.size() == static_cast<std::size_t>(width), "an aligned display line is not the width");
  }
  return 0;
}
