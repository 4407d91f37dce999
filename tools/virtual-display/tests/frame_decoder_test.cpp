#include "tools/virtual-display/frame_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestova {
namespace {

// Everything a stream shows: the frames Feed completes, then the one a pause completes.
std::vector<TDisplayFrame> Decode(const std::vector<std::string>& reads) {
  TFrameDecoder decoder;
  return DecodeReads(decoder, reads);
}

struct StreamCase {
  std::string Name;
  std::string Bytes;
  std::vector<TDisplayFrame> Frames;
};

const std::vector<StreamCase>& StreamCases() {
  static const std::vector<StreamCase> cases = {
      {"one frame", "\x0CRa\x9Fun\n\rWorld", {{"Ra\x9Fun", "World"}}},
      {"empty lines", "\x0C\n\r", {{"", ""}}},
      {"several frames",
       "\x0C"
       "A\n\rB\x0C"
       "C\n\rD\x0C\n\rE",
       {{"A", "B"}, {"C", "D"}, {"", "E"}}},
      {"noise before the first form feed",
       "xyz\n\r\x0C"
       "A\n\rB",
       {{"A", "B"}}},
      {"form feed inside line 1 starts over",
       "\x0C"
       "AB\x0C"
       "C\n\rD",
       {{"C", "D"}}},
      {"line feed without carriage return",
       "\x0C"
       "A\nB",
       {{"A", "B"}}},
      {"no line 2 yet",
       "\x0C"
       "AB",
       {}},
      {"escape bytes are text", "\x0C\x1BI\n\r\x1BH", {{"\x1BI", "\x1BH"}}},
      {"nothing", "", {}},
      {"cut long lines",
       "\x0C" + std::string(300, 'a') + "\n\r" + std::string(300, 'b'),
       {{std::string(TFrameDecoder::kMaxLineBytes, 'a'), std::string(TFrameDecoder::kMaxLineBytes, 'b')}}},
  };
  return cases;
}

TEST(FrameDecoderTest, DecodesStreamsInOneRead) {
  for (const StreamCase& c : StreamCases()) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Decode({c.Bytes}), c.Frames);
  }
}

// Wherever the reads split the bytes, the frames are the same (no pause between the reads).
TEST(FrameDecoderTest, FramesSplitAcrossReadsDecodeTheSame) {
  for (const StreamCase& c : StreamCases()) {
    SCOPED_TRACE(c.Name);
    for (std::size_t cut = 0; cut <= c.Bytes.size(); ++cut)
      EXPECT_EQ(Decode({c.Bytes.substr(0, cut), c.Bytes.substr(cut)}), c.Frames) << "cut " << cut;
    std::vector<std::string> bytes;
    for (const char b : c.Bytes) bytes.emplace_back(1, b);
    EXPECT_EQ(Decode(bytes), c.Frames) << "byte by byte";
  }
}

TEST(FrameDecoderTest, APauseShowsTheFrameAndLaterBytesUpdateIt) {
  TFrameDecoder decoder;
  EXPECT_TRUE(decoder.Feed("\x0CTotal\n").empty());
  EXPECT_TRUE(decoder.Pending());
  EXPECT_EQ(decoder.Flush(), (TDisplayFrame{"Total", ""}));
  EXPECT_FALSE(decoder.Pending());
  EXPECT_EQ(decoder.Flush(), std::nullopt);  // nothing new

  EXPECT_TRUE(decoder.Feed("\r12").empty());
  EXPECT_EQ(decoder.Flush(), (TDisplayFrame{"Total", "12"}));
  EXPECT_TRUE(decoder.Feed(".50").empty());
  EXPECT_EQ(decoder.Flush(), (TDisplayFrame{"Total", "12.50"}));

  // The next form feed does not report the unchanged frame a second time.
  EXPECT_TRUE(decoder.Feed("\x0CNext\n\r").empty());
  EXPECT_EQ(decoder.Flush(), (TDisplayFrame{"Next", ""}));
}

}  // namespace
}  // namespace kestova
