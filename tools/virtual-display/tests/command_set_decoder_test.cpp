#include "tools/virtual-display/command_set_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/virtual-display/display_box.h"

namespace kestova {
namespace {

// Everything a stream shows on a 20-column display: the frames Feed completes, then the one a
// pause completes.
std::vector<TDisplayFrame> Decode(TDisplayProtocol protocol, const std::vector<std::string>& reads, bool wrap = false) {
  TCommandSetDecoder decoder(protocol, 20, wrap);
  return DecodeReads(decoder, reads);
}

struct StreamCase {
  std::string Name;
  TDisplayProtocol Protocol;
  std::string Bytes;
  std::vector<TDisplayFrame> Frames;
};

// Written from the displays' command descriptions, not from what the server sends.
const std::vector<StreamCase>& StreamCases() {
  static const std::vector<StreamCase> cases = {
      {"epson: initialise, clear, both lines",
       prEpson,
       "\x1B@\x0C\x1F$\x01\x01Total\x1F$\x01\x02"
       "12.50",
       {{"Total", "12.50"}}},
      {"epson: lines in the other order, a column inside", prEpson, "\x1F$\x05\x02x\x1F$\x01\x01y", {{"y", "    x"}}},
      {"epson: a code table is chosen, not shown",
       prEpson,
       "\x1Bt\x12"
       "A",
       {{"A", ""}}},
      {"epson: a position off the display is ignored",
       prEpson,
       "A\x1F$\x15\x01"
       "B\x1F$\x01\x03"
       "C",
       {{"ABC", ""}}},
      {"epson: each clear completes a frame",
       prEpson,
       "\x0C"
       "A\x0C"
       "B\x0C"
       "C",
       {{"A", ""}, {"B", ""}, {"C", ""}}},
      {"cd5220: both lines",
       prCd5220,
       "\x1B@\x0C\x1Bl\x01\x01Total\x1Bl\x01\x02"
       "12.50",
       {{"Total", "12.50"}}},
      {"cd5220: a column inside", prCd5220, "\x1Bl\x03\x02x", {{"", "  x"}}},
      {"logic-controls: reset, overwrite mode, positions from 0",
       prLogicControls,
       std::string("\x1F\x11\x10\x00Total", 9) + "\x10\x14"
                                                 "12.50",
       {{"Total", "12.50"}}},
      {"logic-controls: position 25 is the sixth column of line 2", prLogicControls, "\x10\x19x", {{"", "     x"}}},
      {"logic-controls: a position off the display is ignored",
       prLogicControls,
       "A\x10\x28"
       "B",
       {{"AB", ""}}},
      {"aedex: line commands", prAedex, "!#1Total\r!#212.50\r", {{"Total", "12.50"}}},
      {"aedex: a line command blanks its line", prAedex, "!#1Long text\r!#1Hi!\r", {{"Hi!", ""}}},
      {"frame: with a cursor", prFrame, "\x0CTotal\n\r12.50", {{"Total", "12.50"}}},
      {"nothing", prEpson, "", {}},
  };
  return cases;
}

TEST(CommandSetDecoderTest, DecodesEachSet) {
  for (const StreamCase& c : StreamCases()) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Decode(c.Protocol, {c.Bytes}), c.Frames);
  }
}

// Wherever the reads split the bytes (inside a command too), the frames are the same.
TEST(CommandSetDecoderTest, CommandsSplitAcrossReadsDecodeTheSame) {
  for (const StreamCase& c : StreamCases()) {
    SCOPED_TRACE(c.Name);
    for (std::size_t cut = 0; cut <= c.Bytes.size(); ++cut)
      EXPECT_EQ(Decode(c.Protocol, {c.Bytes.substr(0, cut), c.Bytes.substr(cut)}), c.Frames) << "cut " << cut;
  }
}

// What a set does not know is shown where the cursor is, as a marker, and never swallows the
// bytes after it: another set's cursor command, a stray control byte, half an aedex command.
TEST(CommandSetDecoderTest, UnknownCommandBytesAreShownAsMarkers) {
  struct Case {
    TDisplayProtocol protocol;
    std::string bytes;
    std::string line1;
  } const cases[] = {
      {prEpson,
       "\x1Bl\x01\x01"
       "A",
       "·l··A"},
      {prCd5220,
       "\x1F$\x01\x01"
       "A",
       "·$··A"},
      {prLogicControls,
       "\x0C"
       "A\x12",
       "·A·"},
      {prAedex, "!#9x\r", "!#9x"},
      {prFrame, "\x1B@x", "·@x"},
  };
  for (const Case& c : cases) {
    const std::vector<TDisplayFrame> frames = Decode(c.protocol, {c.bytes});
    ASSERT_EQ(frames.size(), 1u) << c.bytes;
    EXPECT_EQ(ShowLine(frames[0].Line1), c.line1) << c.bytes;
  }
}

// A display that wraps: after the last column the cursor is on the other line.
TEST(CommandSetDecoderTest, WrapMovesTheCursorOnAfterTheLastColumn) {
  const std::string full = "ABCDEFGHIJKLMNOPQRST";
  // Text runs on into line 2, and from there back into line 1.
  EXPECT_EQ(Decode(prEpson, {full + "uv"}, true), (std::vector<TDisplayFrame>{{full, "uv"}}));
  EXPECT_EQ(Decode(prEpson, {full + full + "xy"}, true), (std::vector<TDisplayFrame>{{"xyCDEFGHIJKLMNOPQRST", full}}));
  // Without wrapping, text past the last column is not shown.
  EXPECT_EQ(Decode(prEpson, {full + "uv"}), (std::vector<TDisplayFrame>{{full, ""}}));
}

}  // namespace
}  // namespace kestova
