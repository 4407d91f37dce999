#include "display/text_shaping.h"

#include <algorithm>
#include <string_view>

namespace kestova {
namespace {

void ReplaceAll(ByteString& s, std::string_view from, std::string_view to) {
  if (s.find(from) == ByteString::npos) return;
  ByteString out;
  out.reserve(s.size() + 8);
  std::size_t pos = 0;
  for (std::size_t hit; (hit = s.find(from, pos)) != ByteString::npos; pos = hit + from.size()) {
    out.append(s, pos, hit - pos);
    out.append(to);
  }
  out.append(s, pos, ByteString::npos);
  s.swap(out);
}

constexpr std::string_view kDzPlaceholder = "[malidz]";

ByteString ExactWidth(ByteString s, const ByteString& fill, int32_t width, TFillType side) {
  if (static_cast<int64_t>(s.size()) < width) return ResizeString(std::move(s), fill, width, side);
  if (width <= 0) return {};
  return s.substr(s.size() - static_cast<std::size_t>(width));
}

}  // namespace

ByteString StringTo852(ByteString Str) {
  // The order matters: 0xE6 is ć in Windows-1250 and Š in code page 852, and 0xD0 is Đ in
  // Windows-1250 and đ in code page 852, so đ waits as a placeholder until Đ is done.
  static constexpr std::pair<std::string_view, std::string_view> kSteps[] = {
      {"\xE8", "\x9F"},         {"\x9A", "\xE7"}, {"\x9E", "\xA7"},         {"\xE6", "\x86"},
      {"\xF0", kDzPlaceholder}, {"\xC8", "\xAC"}, {"\x8A", "\xE6"},         {"\x8E", "\xA6"},
      {"\xC6", "\x8F"},         {"\xD0", "\xD1"}, {kDzPlaceholder, "\xD0"},
  };
  for (const auto& [from, to] : kSteps) ReplaceAll(Str, from, to);
  return Str;
}

ByteString ResizeString(ByteString InputString, const ByteString& FillChar, int32_t StringWidth, TFillType FillType) {
  if (FillChar.empty()) return InputString;
  const int64_t missing = static_cast<int64_t>(StringWidth) - static_cast<int64_t>(InputString.size());
  if (missing <= 0) return InputString;
  const auto copies = static_cast<std::size_t>((missing + static_cast<int64_t>(FillChar.size()) - 1) /
                                               static_cast<int64_t>(FillChar.size()));
  ByteString fill;
  fill.reserve(copies * FillChar.size());
  for (std::size_t i = 0; i < copies; ++i) fill += FillChar;
  return FillType == ftLeft ? fill + InputString : InputString + fill;
}

ByteString StrExactL(ByteString InputString, const ByteString& FillChar, int32_t ExactWidth_) {
  return ExactWidth(std::move(InputString), FillChar, ExactWidth_, ftLeft);
}

ByteString StrExactR(ByteString InputString, const ByteString& FillChar, int32_t ExactWidth_) {
  return ExactWidth(std::move(InputString), FillChar, ExactWidth_, ftRight);
}

ByteString PreProcess(ByteString Txt, int32_t Width) {
  std::replace(Txt.begin(), Txt.end(), ',', '.');
  Txt = StringTo852(std::move(Txt));
  if (Width <= 0) return {};
  if (Txt.size() > static_cast<std::size_t>(Width)) Txt.resize(static_cast<std::size_t>(Width));
  return Txt;
}

}  // namespace kestova
