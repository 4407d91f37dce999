// Arbitrary text as a string list's comma text or delimited text, and arbitrary items written as
// it. Byte 0 chooses the list: bit 0 strict delimiting, bits 1-2 the delimiter (comma as every
// packet has, "/" as a key card's readers, ";", or byte 1), bit 3 the quote (double quote, or
// the apostrophe), bit 4 whether comma text or the list's own delimited text is read and
// written. The rest is the text; split at every 0xFF byte it is also a list of items.
// Invariants, for every delimiter and quote that text can tell apart (two different characters,
// neither a blank or control character when blanks separate):
//  - Text written by the list reads back into the same items, in either delimiting mode, and
//    writing those again gives the same text (parse, write, parse is a fixed point).
//  - Text written without strict delimiting reads back into the same items with it (the settings
//    write topics one way, packets read parameters the other).
//  - Reading never raises; the value of a name=value item is found by its name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_list.h"

namespace {

using namespace kestova;

void Check(bool condition, const char* what, std::string_view text) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\ntext: %.*s\n", what, static_cast<int>(text.size()), text.data());
  std::abort();
}

bool IsBlank(char c) { return c >= 1 && c <= 32; }

struct TListKind {
  bool Strict;
  char Delimiter;
  char Quote;
  bool Comma;  // comma text, whatever the list's own characters

  char EffectiveDelimiter() const { return Comma ? ',' : Delimiter; }
  char EffectiveQuote() const { return Comma ? '"' : Quote; }
  // Whether written text can carry every list: otherwise some items cannot be told apart.
  bool Unambiguous(bool strict) const {
    const char d = EffectiveDelimiter(), q = EffectiveQuote();
    return d != q && (strict || (!IsBlank(d) && !IsBlank(q)));
  }
};

TStringList MakeList(const TListKind& kind, bool strict) {
  TStringList list;
  list.SetStrictDelimiter(strict);
  list.SetDelimiter(kind.Delimiter);
  list.SetQuoteChar(kind.Quote);
  return list;
}

void Read(TStringList& list, const TListKind& kind, std::string_view text) {
  if (kind.Comma)
    list.SetCommaText(text);
  else
    list.SetDelimitedText(text);
}

std::string Write(const TStringList& list, const TListKind& kind) {
  return kind.Comma ? list.CommaText() : list.DelimitedText();
}

// `items` written by a list of `kind` (and by one without strict delimiting) read back the same.
void RoundTrip(const TListKind& kind, const std::vector<std::string>& items) {
  for (const bool strict : {kind.Strict, false}) {
    if (!kind.Unambiguous(strict)) continue;
    TStringList writer = MakeList(kind, strict);
    for (const std::string& item : items) writer.Add(item);
    const std::string text = Write(writer, kind);
    // Strict delimiting reads what either mode wrote; without it, only its own text.
    for (const bool readStrict : {strict, true}) {
      if (!kind.Unambiguous(readStrict)) continue;
      TStringList reader = MakeList(kind, readStrict);
      Read(reader, kind, text);
      Check(reader.Items() == items, "written items do not read back", text);
      if (readStrict == strict) Check(Write(reader, kind) == text, "what was read writes another text", text);
    }
  }
}

void Values(const TStringList& list, std::string_view text) {
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& item = list.Strings(i);
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = item.substr(0, eq);
    const int found = list.IndexOfName(name);
    Check(found >= 0 && found <= i, "IndexOfName missed an item", text);
    if (found == i) Check(list.Values(name) == item.substr(eq + 1), "Values is not the text after '='", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static constexpr char kDelimiters[] = {',', '/', ';'};
  const uint8_t mode = data[0];
  TListKind kind;
  kind.Strict = (mode & 1) != 0;
  kind.Delimiter = ((mode >> 1) & 3) < 3 ? kDelimiters[(mode >> 1) & 3] : static_cast<char>(data[1]);
  kind.Quote = (mode & 8) != 0 ? '\'' : '"';
  kind.Comma = (mode & 16) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // Text as it comes: read, then what the list writes of it must read back the same.
  TStringList list = MakeList(kind, kind.Strict);
  Read(list, kind, text);
  Values(list, text);
  RoundTrip(kind, list.Items());

  // Items as they come, whatever text could hold them.
  std::vector<std::string> items;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\xFF', start);
    items.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  RoundTrip(kind, items);
  return 0;
}
