#pragma once
// An ordered list of strings with comma text and delimited text in both delimiting modes.
// Strict delimiting makes spaces ordinary characters; without it, characters with codes
// 1 to 32 separate items and are skipped around them, and such items are written quoted.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestova {

class TStringList {
 public:
  TStringList() = default;

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  bool Empty() const noexcept { return FItems.empty(); }
  void Add(std::string item) { FItems.push_back(std::move(item)); }
  void Clear() noexcept { FItems.clear(); }
  void Delete(int index);
  void Insert(int index, std::string item);

  // Raises EListError "List index out of bounds (%d)" outside 0..Count-1.
  const std::string& Strings(int index) const;
  void SetStrings(int index, std::string item);
  const std::vector<std::string>& Items() const noexcept { return FItems; }

  bool StrictDelimiter() const noexcept { return FStrictDelimiter; }
  void SetStrictDelimiter(bool strict) noexcept { FStrictDelimiter = strict; }
  char Delimiter() const noexcept { return FDelimiter; }
  void SetDelimiter(char delimiter) noexcept { FDelimiter = delimiter; }
  char QuoteChar() const noexcept { return FQuoteChar; }
  void SetQuoteChar(char quote) noexcept { FQuoteChar = quote; }

  // Comma text: delimited text with a comma and a double quote, whatever the list's own characters.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);
  std::string DelimitedText() const;
  // Replace the items by the lines of `text`, split at CR LF, LF or a lone CR; a line break at
  // the end adds no empty item.
  void SetText(std::string_view text);
  void SetDelimitedText(std::string_view text);

  // Value of the first name=value item whose name equals `name` ignoring ASCII letter case;
  // empty when no item matches. Items without '=' never match.
  std::string Values(std::string_view name) const;
  // Set the value of the first item named `name` (ignoring ASCII letter case), or append
  // name=value; an empty value removes that item instead (and appends nothing).
  void SetValues(std::string_view name, std::string_view value);
  int IndexOfName(std::string_view name) const;
  int IndexOf(std::string_view item) const;

 private:
  std::string Render(char delimiter, char quote) const;
  void Parse(std::string_view text, char delimiter, char quote);

  std::vector<std::string> FItems;
  bool FStrictDelimiter = false;
  char FDelimiter = ',';
  char FQuoteChar = '"';
};

}  // namespace kestova
