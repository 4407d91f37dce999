// The line framing of the line-command client without a socket: the same lines, and the same
// refusal of an overlong line, whichever pieces the bytes arrive in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rfid/cmd_line_splitter.h"

namespace kestova {
namespace {

struct TSplit {
  std::vector<std::string> Lines;
  bool Refused = false;
  bool operator==(const TSplit&) const = default;
};

// The lines `pieces` give, read after each piece as the listening thread reads them.
TSplit Split(const std::vector<std::string>& pieces, std::size_t maxLineLength) {
  TCmdLineSplitter splitter(maxLineLength);
  TSplit split;
  try {
    for (const std::string& piece : pieces) {
      splitter.Append(piece);
      std::string line;
      while (splitter.Next(line)) split.Lines.push_back(line);
    }
  } catch (const ECmdLineTooLong& e) {
    EXPECT_STREQ(e.what(), "Max line length exceeded.");
    split.Refused = true;
  }
  return split;
}

std::vector<std::string> Bytes(const std::string& stream) {
  std::vector<std::string> pieces;
  for (const char c : stream) pieces.emplace_back(1, c);
  return pieces;
}

TEST(CmdLineSplitterTest, SameLinesWholeByteByByteAndAtTheLimit) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Pieces;  // one way the stream may arrive, besides whole and byte by byte
    TSplit Expected;
  };
  // A limit of 4 characters.
  const TCase cases[] = {
      {"CR LF, LF, only the CR before the LF goes", {"ab\r", "\ncd\n", "\r\r\n"}, {{"ab", "cd", "\r"}, false}},
      {"bytes above 127",
       {"l\xE9", "1\n"},
       {{"l\xEF\xBF\xBD"
         "1"},
        false}},
      {"the longest line, its CR waiting for the LF", {"abcd\r", "\n"}, {{"abcd"}, false}},
      {"a partial line at the limit", {"ok\nabcd"}, {{"ok"}, false}},
      {"one past the limit, no LF yet", {"ok\nabc", "de"}, {{"ok"}, true}},
      // The byte past the limit and the line feed in one piece: refused all the same.
      {"one past the limit with its LF", {"abcd", "e\n"}, {{}, true}},
      {"a CR past the limit that no LF follows", {"abcd\r", "x"}, {{}, true}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string stream;
    for (const std::string& piece : c.Pieces) stream += piece;
    EXPECT_EQ(Split(c.Pieces, 4), c.Expected);
    EXPECT_EQ(Split({stream}, 4), c.Expected);
    EXPECT_EQ(Split(Bytes(stream), 4), c.Expected);
  }
}

TEST(CmdLineSplitterTest, RoomNeverLetsMoreThanTheLongestLineIn) {
  TCmdLineSplitter splitter(4);
  std::string line;
  EXPECT_EQ(splitter.Room(), 6u) << "four characters, CR and LF";
  splitter.Append("ab");
  EXPECT_FALSE(splitter.Next(line));
  EXPECT_EQ(splitter.Room(), 4u);
  splitter.Append("cd\r");
  EXPECT_FALSE(splitter.Next(line));
  EXPECT_EQ(splitter.Room(), 1u) << "only the LF can still come";
}

}  // namespace
}  // namespace kestova
