#include "platform/text_codec.h"

#include <iconv.h>
#include <locale.h>

#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/exception.h"

namespace kestova {
namespace {

// Length of the valid sequence at s[i], or 0 when it is malformed.
std::size_t ValidSequenceLength(std::string_view s, std::size_t i) noexcept {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = at(i);
  const std::size_t left = s.size() - i;
  if (b0 < 0x80) return 1;
  auto cont = [&](std::size_t k) { return (at(k) & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF) return (left >= 2 && cont(i + 1)) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (left < 3 || !cont(i + 1) || !cont(i + 2)) return 0;
    const unsigned char b1 = at(i + 1);
    if (b0 == 0xE0 && b1 < 0xA0) return 0;   // overlong
    if (b0 == 0xED && b1 >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (left < 4 || !cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
    const unsigned char b1 = at(i + 1);
    if (b0 == 0xF0 && b1 < 0x90) return 0;   // overlong
    if (b0 == 0xF4 && b1 >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

char32_t DecodeAt(std::string_view s, std::size_t i, std::size_t len) noexcept {
  const auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k])); };
  switch (len) {
    case 1: return b(0);
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
  }
}

struct IconvCloser {
  void operator()(void* cd) const noexcept { iconv_close(static_cast<iconv_t>(cd)); }
};

}  // namespace

bool IsValidUtf8(std::string_view bytes) noexcept {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t len = ValidSequenceLength(bytes, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string DecodeUtf8(std::string_view bytes) {
  if (!IsValidUtf8(bytes)) throw EEncodingError(kNoMappingMessage);
  return std::string(bytes);
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t NextCodePoint(std::string_view utf8, std::size_t& pos) {
  const std::size_t len = pos < utf8.size() ? ValidSequenceLength(utf8, pos) : 0;
  if (len == 0) throw EEncodingError(kNoMappingMessage);
  const char32_t cp = DecodeAt(utf8, pos, len);
  pos += len;
  return cp;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t len = ValidSequenceLength(utf8, i);
    if (len == 0) throw EEncodingError(kNoMappingMessage);
    const char32_t cp = DecodeAt(utf8, i, len);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::size_t Utf8Length(std::string_view utf8) noexcept {
  std::size_t count = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

std::string Utf8Left(std::string_view utf8, std::size_t characters) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (seen == characters) return std::string(utf8.substr(0, i));
      ++seen;
    }
  }
  return std::string(utf8);
}

namespace {

// iconv transliterates by the calling thread's locale: in the C locale ā has no entry and
// becomes "?", in a UTF-8 one it becomes "a". The display must show the same text whichever
// locale the service manager or the desktop session hands the program, so the conversion runs
// in the built-in C.UTF-8 locale for its duration.
class TTransliterationLocale {
 public:
  TTransliterationLocale() noexcept {
    static const locale_t fixed = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (fixed != static_cast<locale_t>(nullptr)) FPrevious = uselocale(fixed);
  }
  ~TTransliterationLocale() {
    if (FPrevious != static_cast<locale_t>(nullptr)) uselocale(FPrevious);
  }
  TTransliterationLocale(const TTransliterationLocale&) = delete;
  TTransliterationLocale& operator=(const TTransliterationLocale&) = delete;

 private:
  locale_t FPrevious = static_cast<locale_t>(nullptr);
};

}  // namespace

ByteString UnicodeToWindows1250(std::string_view utf8) {
  if (!IsValidUtf8(utf8)) throw EEncodingError(kNoMappingMessage);
  ByteString out;
  out.reserve(utf8.size());
  // One converter per thread: iconv descriptors carry shift state and are not thread-safe.
  thread_local std::unique_ptr<void, IconvCloser> converter{[] {
    iconv_t cd = iconv_open("WINDOWS-1250//TRANSLIT", "UTF-8");
    return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : static_cast<void*>(cd);
  }()};
  if (!converter) throw EEncodingError("Windows-1250 conversion is not available on this system");
  auto cd = static_cast<iconv_t>(converter.get());
  const TTransliterationLocale locale;
  // Character by character, so that one the code page cannot hold becomes a single "?".
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t len = ValidSequenceLength(utf8, i);
    if (len == 1) {
      out += utf8[i];
      i += 1;
      continue;
    }
    char inBuf[4];
    for (std::size_t k = 0; k < len; ++k) inBuf[k] = utf8[i + k];
    char outBuf[16];
    char* inPtr = inBuf;
    std::size_t inLeft = len;
    char* outPtr = outBuf;
    std::size_t outLeft = sizeof outBuf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    // One byte per character, so that cutting to the width and aligning count right: a
    // transliteration of several characters (Æ to "AE", ½ to " 1/2 ") is no better than "?".
    if (rc == static_cast<std::size_t>(-1) || outPtr - outBuf != 1)
      out += '?';
    else
      out += outBuf[0];
    i += len;
  }
  return out;
}

}  // namespace kestova
