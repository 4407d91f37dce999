#include "tools/virtual-display/cp852.h"

#include "platform/text_codec.h"

namespace kestova {

namespace {

// Bytes 0x80 to 0xFF, sixteen to a row.
constexpr char32_t kUpperHalf[128] = {
    // 0x80
    U'\u00C7',
    U'\u00FC',
    U'\u00E9',
    U'\u00E2',
    U'\u00E4',
    U'\u016F',
    U'\u0107',
    U'\u00E7',
    U'\u0142',
    U'\u00EB',
    U'\u0150',
    U'\u0151',
    U'\u00EE',
    U'\u0179',
    U'\u00C4',
    U'\u0106',
    // 0x90
    U'\u00C9',
    U'\u0139',
    U'\u013A',
    U'\u00F4',
    U'\u00F6',
    U'\u013D',
    U'\u013E',
    U'\u015A',
    U'\u015B',
    U'\u00D6',
    U'\u00DC',
    U'\u0164',
    U'\u0165',
    U'\u0141',
    U'\u00D7',
    U'\u010D',
    // 0xA0
    U'\u00E1',
    U'\u00ED',
    U'\u00F3',
    U'\u00FA',
    U'\u0104',
    U'\u0105',
    U'\u017D',
    U'\u017E',
    U'\u0118',
    U'\u0119',
    U'\u00AC',
    U'\u017A',
    U'\u010C',
    U'\u015F',
    U'\u00AB',
    U'\u00BB',
    // 0xB0
    U'\u2591',
    U'\u2592',
    U'\u2593',
    U'\u2502',
    U'\u2524',
    U'\u00C1',
    U'\u00C2',
    U'\u011A',
    U'\u015E',
    U'\u2563',
    U'\u2551',
    U'\u2557',
    U'\u255D',
    U'\u017B',
    U'\u017C',
    U'\u2510',
    // 0xC0
    U'\u2514',
    U'\u2534',
    U'\u252C',
    U'\u251C',
    U'\u2500',
    U'\u253C',
    U'\u0102',
    U'\u0103',
    U'\u255A',
    U'\u2554',
    U'\u2569',
    U'\u2566',
    U'\u2560',
    U'\u2550',
    U'\u256C',
    U'\u00A4',
    // 0xD0
    U'\u0111',
    U'\u0110',
    U'\u010E',
    U'\u00CB',
    U'\u010F',
    U'\u0147',
    U'\u00CD',
    U'\u00CE',
    U'\u011B',
    U'\u2518',
    U'\u250C',
    U'\u2588',
    U'\u2584',
    U'\u0162',
    U'\u016E',
    U'\u2580',
    // 0xE0
    U'\u00D3',
    U'\u00DF',
    U'\u00D4',
    U'\u0143',
    U'\u0144',
    U'\u0148',
    U'\u0160',
    U'\u0161',
    U'\u0154',
    U'\u00DA',
    U'\u0155',
    U'\u0170',
    U'\u00FD',
    U'\u00DD',
    U'\u0163',
    U'\u00B4',
    // 0xF0
    U'\u00AD',
    U'\u02DD',
    U'\u02DB',
    U'\u02C7',
    U'\u02D8',
    U'\u00A7',
    U'\u00F7',
    U'\u00B8',
    U'\u00B0',
    U'\u00A8',
    U'\u02D9',
    U'\u0171',
    U'\u0158',
    U'\u0159',
    U'\u25A0',
    U'\u00A0',
};

}  // namespace

char32_t Cp852ToUnicode(unsigned char byte) noexcept { return byte < 0x80 ? char32_t{byte} : kUpperHalf[byte - 0x80]; }

std::string Cp852ToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char byte : bytes) AppendUtf8(text, Cp852ToUnicode(static_cast<unsigned char>(byte)));
  return text;
}

}  // namespace kestova
