#include "mqtt/frame_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/hex.h"

namespace kestova {
namespace {

using test::HexBytes;
using test::ToHex;

// Feeds AStream in chunks of AChunk bytes and collects every frame; stops at a malformed stream.
struct TFramed {
  std::vector<TMqttFrame> Frames;
  bool Malformed = false;
  std::size_t Consumed = 0;
};

TFramed FeedInChunks(TMqttFrameReader& AReader, TMqttByteView AStream, std::size_t AChunk) {
  TFramed result;
  std::size_t offset = 0;
  while (offset < AStream.size()) {
    TMqttByteView chunk = AStream.subspan(offset, std::min(AChunk, AStream.size() - offset));
    while (!chunk.empty()) {
      std::size_t consumed = 0;
      const TMqttFrameStatus status = AReader.Feed(chunk, consumed);
      result.Consumed += consumed;
      chunk = chunk.subspan(consumed);
      if (status == TMqttFrameStatus::fsComplete) result.Frames.push_back(AReader.TakeFrame());
      if (status == TMqttFrameStatus::fsMalformed) {
        result.Malformed = true;
        return result;
      }
      if (status == TMqttFrameStatus::fsNeedMore) {
        EXPECT_TRUE(chunk.empty());
      }
    }
    offset += std::min(AChunk, AStream.size() - offset);
  }
  return result;
}

TMqttBytes Stream() {
  TMqttBytes stream = HexBytes("00 D0 00 00 00 30 04 00 01 74 78 20 02 00 00");
  const TMqttBytes big = HexBytes("31 C1 02");  // remaining length 321 in two bytes
  stream.insert(stream.end(), big.begin(), big.end());
  for (int i = 0; i < 321; ++i) stream.push_back(static_cast<uint8_t>(i));
  const TMqttBytes tail = HexBytes("E0 00");
  stream.insert(stream.end(), tail.begin(), tail.end());
  return stream;
}

TEST(FrameReader, SameFramesWhateverTheChunking) {
  const TMqttBytes stream = Stream();
  for (std::size_t chunk :
       {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64}, stream.size()}) {
    SCOPED_TRACE(chunk);
    TMqttFrameReader reader;
    const TFramed framed = FeedInChunks(reader, stream, chunk);
    EXPECT_FALSE(framed.Malformed);
    EXPECT_EQ(framed.Consumed, stream.size());
    ASSERT_EQ(framed.Frames.size(), 5u);
    EXPECT_EQ(framed.Frames[0].FirstByte, 0xD0);  // PINGRESP: empty body
    EXPECT_TRUE(framed.Frames[0].Body.empty());
    EXPECT_EQ(framed.Frames[1].FirstByte, 0x30);
    EXPECT_EQ(ToHex(framed.Frames[1].Body), "00 01 74 78");
    EXPECT_EQ(ToHex(framed.Frames[2].Body), "00 00");
    EXPECT_EQ(framed.Frames[3].FirstByte, 0x31);
    ASSERT_EQ(framed.Frames[3].Body.size(), 321u);
    EXPECT_EQ(framed.Frames[3].Body[320], 320 & 0xFF);
    EXPECT_EQ(framed.Frames[4].FirstByte, 0xE0);
    // Zero first bytes start no frame.
    EXPECT_EQ(reader.SkippedZeroBytes(), 3u);
    EXPECT_FALSE(reader.InFrame());
  }
}

TEST(FrameReader, StopsAtTheEndOfAFrameAndSaysHowMuchItWants) {
  TMqttFrameReader reader;
  EXPECT_EQ(reader.BytesWanted(), 1u);
  const TMqttBytes header = HexBytes("30 C1 02 AA AA");
  std::size_t consumed = 0;
  EXPECT_EQ(reader.Feed(TMqttByteView(header).first(3), consumed), TMqttFrameStatus::fsNeedMore);
  EXPECT_EQ(consumed, 3u);
  EXPECT_TRUE(reader.InFrame());
  EXPECT_EQ(reader.Phase(), TMqttFramePhase::fpBody);
  EXPECT_EQ(reader.RemainingLength(), 321u);
  EXPECT_EQ(reader.BytesWanted(), 321u);
  EXPECT_EQ(reader.Feed(TMqttByteView(header).subspan(3), consumed), TMqttFrameStatus::fsNeedMore);
  EXPECT_EQ(reader.BytesWanted(), 319u);
  // Before the frame is complete there is nothing to take, and taking changes nothing.
  EXPECT_TRUE(reader.TakeFrame().Body.empty());
  EXPECT_EQ(reader.BytesWanted(), 319u);

  TMqttBytes rest(319, 0xBB);
  const TMqttBytes next = HexBytes("C0 00");
  rest.insert(rest.end(), next.begin(), next.end());
  EXPECT_EQ(reader.Feed(rest, consumed), TMqttFrameStatus::fsComplete);
  EXPECT_EQ(consumed, 319u);  // the PINGREQ behind it is left for the next call
  EXPECT_EQ(reader.Phase(), TMqttFramePhase::fpComplete);
  const TMqttFrame frame = reader.TakeFrame();
  EXPECT_EQ(reader.Phase(), TMqttFramePhase::fpFirstByte);
  EXPECT_EQ(frame.Body.size(), 321u);
  EXPECT_EQ(reader.Feed(TMqttByteView(rest).subspan(consumed), consumed), TMqttFrameStatus::fsComplete);
  EXPECT_EQ(reader.TakeFrame().FirstByte, 0xC0);
}

TEST(FrameReader, MalformedLengthsBreakTheStreamUntilReset) {
  struct TCase {
    const char* Name;
    uint32_t Max;
    const char* Bytes;
    std::size_t ConsumedWhenFound;
  };
  const TCase cases[] = {
      {"fourth length byte announces a fifth", MQTT_MAX_MESSAGE_SIZE, "30 80 80 80 80 01 00", 5},
      {"fourth length byte FF", MQTT_MAX_MESSAGE_SIZE, "30 FF FF FF FF", 5},
      {"longer than the reader accepts", 10, "30 0B 00", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMqttFrameReader reader(c.Max);
    std::size_t consumed = 0;
    EXPECT_EQ(reader.Feed(HexBytes(c.Bytes), consumed), TMqttFrameStatus::fsMalformed);
    EXPECT_EQ(consumed, c.ConsumedWhenFound);
    EXPECT_EQ(reader.Phase(), TMqttFramePhase::fpMalformed);
    EXPECT_EQ(reader.Feed(HexBytes("C0 00"), consumed), TMqttFrameStatus::fsMalformed);
    EXPECT_EQ(consumed, 0u);
    reader.Reset();
    EXPECT_EQ(reader.Feed(HexBytes("C0 00"), consumed), TMqttFrameStatus::fsComplete);
  }
}

TEST(FrameReader, LargestLengthIsAcceptedWithoutReservingItAll) {
  TMqttFrameReader reader;
  std::size_t consumed = 0;
  EXPECT_EQ(reader.Feed(HexBytes("30 FF FF FF 7F 00 01"), consumed), TMqttFrameStatus::fsNeedMore);
  EXPECT_EQ(reader.RemainingLength(), MQTT_MAX_MESSAGE_SIZE);
  EXPECT_EQ(reader.BytesWanted(), MQTT_MAX_MESSAGE_SIZE - 2);
}

TEST(FrameReader, FeedingAgainDropsAnUntakenFrame) {
  TMqttFrameReader reader;
  std::size_t consumed = 0;
  EXPECT_EQ(reader.Feed(HexBytes("40 02 00 01"), consumed), TMqttFrameStatus::fsComplete);
  EXPECT_EQ(reader.Feed(HexBytes("50 02 00 02"), consumed), TMqttFrameStatus::fsComplete);
  const TMqttFrame frame = reader.TakeFrame();
  EXPECT_EQ(frame.FirstByte, 0x50);
  EXPECT_EQ(ToHex(frame.Body), "00 02");
}

}  // namespace
}  // namespace kestova
