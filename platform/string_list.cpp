#include "platform/string_list.h"

#include "platform/ascii_text.h"
#include "platform/exception.h"

namespace kestova {
namespace {

// Separates items of delimited text: a blank character, except NUL (which is an ordinary one).
bool IsSpaceOrControl(char c) noexcept { return c != '\0' && IsBlankChar(c); }

}  // namespace

const std::string& TStringList::Strings(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return FItems[static_cast<std::size_t>(index)];
}

void TStringList::SetStrings(int index, std::string item) {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  FItems[static_cast<std::size_t>(index)] = std::move(item);
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  FItems.erase(FItems.begin() + index);
}

void TStringList::Insert(int index, std::string item) {
  if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
  FItems.insert(FItems.begin() + index, std::move(item));
}

std::string TStringList::CommaText() const { return Render(',', '"'); }
void TStringList::SetCommaText(std::string_view text) { Parse(text, ',', '"'); }
std::string TStringList::DelimitedText() const { return Render(FDelimiter, FQuoteChar); }
void TStringList::SetDelimitedText(std::string_view text) { Parse(text, FDelimiter, FQuoteChar); }

std::string TStringList::Render(char delimiter, char quote) const {
  if (FItems.empty()) return {};
  if (FItems.size() == 1 && FItems.front().empty()) return std::string(2, quote);
  std::string out;
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    const std::string& item = FItems[i];
    if (i > 0) out += delimiter;
    bool needsQuotes = false;
    for (char c : item) {
      if (c == quote || c == delimiter || (!FStrictDelimiter && IsSpaceOrControl(c))) {
        needsQuotes = true;
        break;
      }
    }
    if (!needsQuotes) {
      out += item;
      continue;
    }
    out += quote;
    for (char c : item) {
      if (c == quote) out += quote;
      out += c;
    }
    out += quote;
  }
  return out;
}

void TStringList::Parse(std::string_view text, char delimiter, char quote) {
  FItems.clear();
  std::size_t p = 0;
  const std::size_t n = text.size();
  const bool loose = !FStrictDelimiter;
  auto skipBlanks = [&] {
    if (loose)
      while (p < n && IsSpaceOrControl(text[p])) ++p;
  };
  skipBlanks();
  while (p < n) {
    std::string item;
    if (text[p] == quote) {
      ++p;
      while (p < n) {
        if (text[p] == quote) {
          if (p + 1 < n && text[p + 1] == quote) {
            item += quote;
            p += 2;
            continue;
          }
          ++p;  // the closing quote
          break;
        }
        item += text[p++];
      }
    } else {
      const std::size_t start = p;
      while (p < n && text[p] != delimiter && !(loose && IsSpaceOrControl(text[p]))) ++p;
      item.assign(text.substr(start, p - start));
    }
    FItems.push_back(std::move(item));
    skipBlanks();
    if (p < n && text[p] == delimiter) {
      if (p + 1 == n) FItems.emplace_back();
      ++p;
      skipBlanks();
    }
  }
}

int TStringList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    const std::string& item = FItems[i];
    const std::size_t eq = item.find('=');
    if (eq != std::string::npos && SameText(std::string_view(item).substr(0, eq), name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string& item = FItems[static_cast<std::size_t>(index)];
  return item.substr(item.find('=') + 1);
}

void TStringList::SetText(std::string_view text) {
  FItems.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    FItems.emplace_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) FItems.emplace_back(text.substr(start));
}

void TStringList::SetValues(std::string_view name, std::string_view value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string item = std::string(name) + "=" + std::string(value);
  if (index >= 0)
    FItems[static_cast<std::size_t>(index)] = std::move(item);
  else
    FItems.push_back(std::move(item));
}

int TStringList::IndexOf(std::string_view item) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i], item)) return static_cast<int>(i);
  return -1;
}

}  // namespace kestova
