#include "tools/virtual-display/cp852.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace kestova {
namespace {

// glibc's own code page 852 table as an independent oracle for all 128 upper bytes.
TEST(Cp852Test, UpperHalfAgreesWithTheSystemConverter) {
  iconv_t cd = iconv_open("UTF-8", "CP852");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP852 converter on this system";
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1)) << byte;
    EXPECT_EQ(Cp852ToUtf8(std::string(1, static_cast<char>(byte))), std::string(out, sizeof out - outLeft))
        << "byte 0x" << std::hex << byte;
  }
  iconv_close(cd);
}

TEST(Cp852Test, DecodesWhatTheServerWrites) {
  struct Case {
    std::string Bytes;
    std::string Text;
  };
  const Case cases[] = {
      // The ten letters the server moves from Windows-1250 to code page 852 come back.
      {"\x9F\xE7\xA7\x86\xD0\xAC\xE6\xA6\x8F\xD1", "čšžćđČŠŽĆĐ"},
      {"Ra\x9F"
       "un",
       "Račun"},
      {"1.50 EUR", "1.50 EUR"},
      {"", ""},
      {std::string("\x00\x1B\x7F", 3), std::string("\x00\x1B\x7F", 3)},
      // Other Windows-1250 bytes show as code page 852 has them, as on the hardware: 0xE1 (á).
      {"\xE1", "ß"},
  };
  for (const Case& c : cases) EXPECT_EQ(Cp852ToUtf8(c.Bytes), c.Text);
}

}  // namespace
}  // namespace kestova
