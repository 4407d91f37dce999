#include "tools/virtual-display/display_box.h"

#include "platform/text_codec.h"
#include "tools/virtual-display/cp852.h"

namespace kestova {

namespace {

std::string Repeat(std::string_view text, std::size_t count) {
  std::string out;
  out.reserve(text.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += text;
  return out;
}

std::string BoxRow(std::string_view cp852, std::size_t width) {
  std::string text = Utf8Left(ShowLine(cp852), width);
  text += std::string(width - Utf8Length(text), ' ');
  return "\u2502" + text + "\u2502\n";
}

}  // namespace

std::string ShowLine(std::string_view cp852) {
  std::string shown;
  shown.reserve(cp852.size() * 2);
  for (const char c : cp852) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      shown += "\u00B7";
    else
      AppendUtf8(shown, Cp852ToUnicode(byte));
  }
  return shown;
}

std::string DrawBox(const TDisplayFrame& frame, std::size_t width) {
  const std::string border = Repeat("\u2500", width);
  return "\u250C" + border + "\u2510\n" + BoxRow(frame.Line1, width) + BoxRow(frame.Line2, width) + "\u2514" + border +
         "\u2518\n";
}

}  // namespace kestova
