#include <gtest/gtest.h>
#include <libxml/chvalid.h>

#include "xml/char_class.h"

namespace kestova {
namespace {

// Every code unit carries the classes of XML 1.0 Appendix B, as libxml2 implements them.
TEST(XmlCharClassTest, MatchesLibxml2ForEveryCodeUnit) {
  int mismatches = 0;
  for (uint32_t c = 0; c <= 0xFFFF && mismatches < 20; ++c) {
    const auto flags = kCharClasses[c];
    const bool base = xmlIsBaseChar(c), ideo = xmlIsIdeographic(c), digit = xmlIsDigit(c), comb = xmlIsCombining(c),
               ext = xmlIsExtender(c);
    const bool ch = xmlIsChar(c) && c < 0xFFFE;  // libxml2 would take U+10000 and above too
    const bool letter = base || ideo;
    const bool name = letter || digit || comb || ext || c == '.' || c == '-' || c == '_' || c == ':';
    const bool ok = ((flags & ccBaseChar) != 0) == base && ((flags & ccIdeographic) != 0) == ideo &&
                    ((flags & ccDigit) != 0) == digit && ((flags & ccCombiningChar) != 0) == comb &&
                    ((flags & ccExtender) != 0) == ext && IsXMLLetter(static_cast<int32_t>(c)) == letter &&
                    IsXMLNameChar(static_cast<int32_t>(c)) == name && IsXMLChar(static_cast<int32_t>(c)) == ch;
    if (!ok) {
      ++mismatches;
      ADD_FAILURE() << std::hex << "U+" << c << " flags 0x" << int(flags);
    }
  }
}

TEST(XmlCharClassTest, OutsideTheTable) {
  EXPECT_FALSE(IsXMLChar(-1));
  EXPECT_FALSE(IsXMLLetter(0x10000));
  EXPECT_FALSE(IsXMLChar(0xD800));
  EXPECT_FALSE(IsXMLChar(0xFFFE));
  EXPECT_TRUE(IsXMLChar(0xFFFD));
  EXPECT_TRUE(IsXMLWhitespace('\r'));
  EXPECT_FALSE(IsXMLWhitespace(0xA0));
}

}  // namespace
}  // namespace kestova
