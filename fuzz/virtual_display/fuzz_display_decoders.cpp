// Arbitrary bytes as what the virtual display reads from its pseudo-terminal. The input is the
// byte stream followed by eight bytes that choose the display: its command set, its columns (1
// to 200, as the tool takes them), whether its cursor wraps, the server's Width, and a seed for
// the pieces the stream arrives in. Invariants:
//  - The frames do not depend on how the bytes arrive: whole, in pieces or byte by byte, the
//    same frames; after the pause that ends the input nothing more is pending.
//  - A frame's lines are never wider than the display (256 bytes for the frame decoder, which
//    has no cells).
//  - Round trip: the two lines the stream begins with, made printable (no "!", which begins an
//    Aedex command) and cut to Width as the server cuts them, written by the server's bytes for
//    the set after its opening bytes and after another update, are what the display shows
//    (trailing blanks aside). A display at least Width wide is assumed, and a logic-controls
//    display of 20 columns, which places line 2 at 20; the frame on a wrapping display keeps its
//    known limit: a full-width line 1 is overwritten, so that case is left out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_protocol.h"
#include "display/text_shaping.h"
#include "fuzz/fuzz_support.h"
#include "tools/virtual-display/display_decoder.h"
#include "tools/virtual-display/frame_decoder.h"

namespace {

using namespace kestova;
using fuzz::Check;

struct TDisplay {
  TDisplayProtocol Protocol;
  std::size_t Columns;
  bool Wrap;

  std::unique_ptr<TDisplayDecoder> Decoder() const { return MakeDisplayDecoder(Protocol, Columns, Wrap); }
  std::size_t MaxLine() const { return Protocol == prFrame && !Wrap ? TFrameDecoder::kMaxLineBytes : Columns; }
};

std::vector<TDisplayFrame> Decode(const TDisplay& display, const std::vector<std::string>& reads) {
  const auto decoder = display.Decoder();
  std::vector<TDisplayFrame> frames = DecodeReads(*decoder, reads);
  Check(!decoder->Pending() && !decoder->Flush(), "a frame is still pending after the pause");
  for (const TDisplayFrame& frame : frames)
    Check(frame.Line1.size() <= display.MaxLine() && frame.Line2.size() <= display.MaxLine(),
          "a line wider than the display");
  return frames;
}

void Stream(const TDisplay& display, const std::string& stream, uint32_t seed) {
  std::vector<std::string> pieces, bytes;
  for (const std::string_view piece : fuzz::Pieces(stream, seed, 32)) pieces.emplace_back(piece);
  for (const char c : stream) bytes.emplace_back(1, c);
  const std::vector<TDisplayFrame> whole = Decode(display, {stream});
  Check(Decode(display, pieces) == whole, "the frames depend on the pieces the bytes came in");
  Check(Decode(display, bytes) == whole, "the frames differ byte by byte");
}

ByteString Printable(std::string_view text) {
  ByteString line(text);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == '!') c = '.';
  return line;
}

ByteString WithoutTrailingBlanks(ByteString line) {
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

void RoundTrip(TDisplay display, int32_t width, const std::string& stream) {
  if (display.Protocol == prLogicControls) display.Columns = kLogicControlsLine2;
  width = 1 + width % static_cast<int32_t>(display.Columns);
  const std::size_t lf = stream.find('\n');
  const std::string_view first = std::string_view(stream).substr(0, lf);
  const std::string_view second =
      lf == std::string::npos ? std::string_view() : std::string_view(stream).substr(lf + 1);
  const ByteString line1 = PreProcess(Printable(first), width);
  const ByteString line2 = PreProcess(Printable(second.substr(0, second.find('\n'))), width);
  if (display.Protocol == prFrame && display.Wrap && line1.size() >= display.Columns) return;

  const std::string bytes =
      OpeningBytes(display.Protocol) +
      UpdateBytes(display.Protocol, PreProcess(line2 + "before", width), PreProcess(line1 + "before", width), width) +
      UpdateBytes(display.Protocol, line1, line2, width);
  const auto decoder = display.Decoder();
  const TDisplayFrame shown = ShownAfter(*decoder, bytes);
  if (WithoutTrailingBlanks(shown.Line1) == WithoutTrailingBlanks(line1) &&
      WithoutTrailingBlanks(shown.Line2) == WithoutTrailingBlanks(line2))
    return;
  std::fprintf(stderr, "%s, %zu columns%s, Width %d\nmeant: [%s] [%s]\nshown: [%s] [%s]\n",
               std::string(DisplayProtocolName(display.Protocol)).c_str(), display.Columns,
               display.Wrap ? ", wrapping" : "", width, line1.c_str(), line2.c_str(), shown.Line1.c_str(),
               shown.Line2.c_str());
  Check(false, "the display does not show the lines the server meant");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  TDisplay display;
  display.Protocol = static_cast<TDisplayProtocol>(input.ConsumeIntegralInRange<uint8_t>(prFrame, prAedex));
  display.Columns = input.ConsumeIntegralInRange<std::size_t>(1, 200);
  display.Wrap = input.ConsumeBool();
  const auto width = input.ConsumeIntegral<uint8_t>();
  const auto seed = input.ConsumeIntegral<uint32_t>();
  const std::string stream = input.ConsumeRemainingBytesAsString();

  Stream(display, stream, seed);
  RoundTrip(display, width, stream);
  return 0;
}
