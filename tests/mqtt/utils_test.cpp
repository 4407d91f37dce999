#include "mqtt/utils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "mqtt/exceptions.h"
#include "tests/support/hex.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::HexBytes;
using test::ThrownMessage;
using test::ToHex;

struct TRemainingLengthCase {
  uint64_t Value;
  const char* Encoded;
};

TEST(RemainingLength, EncodesEveryBoundaryAndDecodesItBack) {
  const TRemainingLengthCase cases[] = {
      {0, "00"},
      {127, "7F"},
      {128, "80 01"},
      {16383, "FF 7F"},
      {16384, "80 80 01"},
      {2097151, "FF FF 7F"},
      {2097152, "80 80 80 01"},
      {268435455, "FF FF FF 7F"},
      {268435456, "80 80 80 80 01"},  // not capped at four bytes when encoding
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    const TMqttBytes encoded = SerializeRemainingLength(c.Value);
    EXPECT_EQ(ToHex(encoded), c.Encoded);
    if (encoded.size() <= MQTT_MAX_REMAINING_LENGTH_BYTES) {
      EXPECT_EQ(ReadRemainingLength(encoded), c.Value);
      // Bytes after the length (the body) do not change the result.
      TMqttBytes withBody = encoded;
      withBody.push_back(0xFF);
      EXPECT_EQ(ReadRemainingLength(withBody), c.Value);
    }
  }
}

TEST(RemainingLength, EmptyIsZeroAndUnfinishedSequencesAreMalformed) {
  EXPECT_EQ(ReadRemainingLength({}), 0u);
  for (const char* bytes : {"80 80 80 80 01", "FF FF FF FF", "80", "FF FF"}) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(ThrownMessage<EMqttDecodeError>([&] { ReadRemainingLength(HexBytes(bytes)); }),
              "Malformed remaining length");
  }
}

TEST(MsbLsb, ReadsBigEndianAndFailsWithoutMovingWhenShort) {
  EXPECT_EQ(ToHex(GetMsbLsb(0x1234)), "12 34");
  const TMqttBytes bytes = HexBytes("AA 01 02 03");
  std::size_t index = 1;
  EXPECT_EQ(ReadMsbLsb(bytes, index), 0x0102);
  EXPECT_EQ(index, 3u);
  for (std::size_t start : {3u, 4u, 99u}) {
    index = start;
    EXPECT_EQ(ThrownMessage<EMqttDecodeError>([&] { ReadMsbLsb(bytes, index); }), "Could not read")
        << "read at " << start;
    EXPECT_EQ(index, start);
  }
}

struct TFieldCase {
  const char* Bytes;
  std::size_t Start;
  const char* Field;
  std::size_t IndexAfter;
};

TEST(LengthPrefixedField, ShortOrOverlongFieldsGiveEmptyWithoutFailing) {
  const TFieldCase cases[] = {
      {"00 01 74", 0, "74", 3},
      {"00 00 74", 0, "", 2},  // an empty field followed by data
      {"00 02 74 78 79", 0, "74 78", 4},
      {"00 01", 0, "", 0},  // 2 bytes or fewer: nothing read, index stays
      {"00 00", 0, "", 0},
      {"00", 0, "", 0},
      {"", 0, "", 0},
      {"00 05 61", 0, "", 2},  // declared longer than present: index after the length
      {"FF FF 61 62", 0, "", 2},
      {"99 00 01 74", 1, "74", 4},
      {"00 01 74", 7, "", 7},  // index past the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Bytes) + " @" + std::to_string(c.Start));
    const TMqttBytes bytes = HexBytes(c.Bytes);
    std::size_t index = c.Start;
    EXPECT_EQ(ToHex(ReadLenghtPrefixedField(bytes, index)), c.Field);
    EXPECT_EQ(index, c.IndexAfter);
  }
}

TEST(LengthPrefixedField, RefusesTextThatItsPrefixCannotDescribe) {
  TMqttBytes out;
  AddLenghtPrefixedField(out, std::string(65535, 'a'));
  EXPECT_EQ(out.size(), 65537u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xFF);

  // 65,536 bytes would be written with length 0 and the text would become part of the next field.
  out.clear();
  EXPECT_THAT(ThrownMessage<EMqttEncodeError>([&] { AddLenghtPrefixedField(out, std::string(65536, 'a')); }),
              ::testing::HasSubstr("65536"));
  EXPECT_TRUE(out.empty());
  const TMqttBytes big(70000, 1);
  EXPECT_THROW(AddLenghtPrefixedField(out, TMqttByteView(big)), EMqttEncodeError);
  EXPECT_THROW(AddLenghtPrefixedField(out, std::string_view("\xC3\x28")), EMqttEncodeError);
  EXPECT_TRUE(out.empty());
}

TEST(ByteUtilities, ReadToEndAndInsert) {
  const TMqttBytes bytes = HexBytes("01 02 03");
  std::size_t index = 1;
  EXPECT_EQ(ToHex(ReadToEnd(bytes, index)), "02 03");
  EXPECT_EQ(index, 3u);
  EXPECT_TRUE(ReadToEnd(bytes, index).empty());
  index = 10;
  EXPECT_TRUE(ReadToEnd(bytes, index).empty());

  TMqttBytes target = HexBytes("01 04");
  InsertBytes(target, 1, HexBytes("02 03"));
  InsertBytes(target, 99, HexBytes("05"));
  InsertBytes(target, 0, {});
  EXPECT_EQ(ToHex(target), "01 02 03 04 05");
  const uint8_t raw[] = {9, 8};
  EXPECT_EQ(ToHex(ReadBytesOf(raw, 2)), "09 08");
}

TEST(RandomClientId, TwentyThreeAlphanumericsThatDifferBetweenCalls) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string id = CreateRandomClientId();
    ASSERT_EQ(id.size(), 23u);
    for (char c : id) ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) << id;
    seen.insert(id);
  }
  // Calls within the same clock tick must not repeat an identifier.
  EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
}  // namespace kestova
