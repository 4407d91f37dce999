#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

TEST(Utf8Test, AcceptsWellFormedText) {
  for (const char* ok :
       {"", "plain", "\xC5\xA1", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF"})
    EXPECT_EQ(DecodeUtf8(ok), ok);
}

TEST(Utf8Test, RejectsMalformedSequencesWithTheMappingMessage) {
  const char* bad[] = {
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xF0\x80\x80\xAF",  // overlong, four bytes
      "\xC5",              // truncated at the end
      "a\xE2\x82",         // truncated three-byte
      "\xED\xA0\x80",      // high surrogate
      "\xED\xBF\xBF",      // low surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\x80",              // stray continuation
      "\xFF",
      "\xC5\x41",  // missing continuation
  };
  for (const char* b : bad) {
    EXPECT_FALSE(IsValidUtf8(b)) << b;
    EXPECT_EQ(ThrownMessage<EEncodingError>([&] { (void)DecodeUtf8(b); }),
              "No mapping for the Unicode character exists in the target multi-byte code page");
  }
}

TEST(Utf16Test, RoundTripsAndReplacesLoneSurrogates) {
  const std::string text = "a\xC5\xA1\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::u16string units = Utf8ToUtf16(text);
  EXPECT_EQ(units, (std::u16string{u'a', u'\u0161', u'\u20AC', 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(units), text);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
}

TEST(Windows1250Test, ConvertsCentralEuropeanLettersAndMarksTheRest) {
  EXPECT_EQ(UnicodeToWindows1250("čšžćđČŠŽĆĐ"), "\xE8\x9A\x9E\xE6\xF0\xC8\x8A\x8E\xC6\xD0");
  EXPECT_EQ(UnicodeToWindows1250("1,50 €"), "1,50 \x80");
  EXPECT_EQ(UnicodeToWindows1250("plain ASCII"), "plain ASCII");
  // Japanese has no counterpart in the code page: one "?" per character.
  EXPECT_EQ(UnicodeToWindows1250("a日本b"), "a??b");
  // One byte for every character: a transliteration of several bytes (Æ to AE, ½ to " 1/2 ",
  // → to ->) is not taken; a single-byte one (ā to a) is, in the C locale the tests run in too.
  EXPECT_EQ(UnicodeToWindows1250("Æ½→"), "???");
  EXPECT_EQ(UnicodeToWindows1250("xāy"), "xay");
  EXPECT_THROW(UnicodeToWindows1250("\xC5"), EEncodingError);
}

TEST(Utf8CountTest, CountsAndCutsCharacters) {
  EXPECT_EQ(Utf8Length("aš€😀"), 4u);
  EXPECT_EQ(Utf8Left("aš€😀", 2), "aš");
  EXPECT_EQ(Utf8Left("ab", 5), "ab");
  EXPECT_EQ(Utf8Left("ab", 0), "");
}

}  // namespace
}  // namespace kestova
