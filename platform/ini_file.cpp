#include "platform/ini_file.h"

#include <fstream>
#include <sstream>

#include "platform/ini_syntax.h"
#include "platform/string_list.h"
#include "platform/text_codec.h"

namespace kestova {
namespace {

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) noexcept {
  std::string_view s = text;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    if (s.empty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (char c : s) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    value = static_cast<int32_t>(v);
    return true;
  }
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  if (s[0] == '$') {
    s.remove_prefix(1);
    if (s.empty()) return false;
    uint64_t v = 0;
    for (char c : s) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint64_t>(d);
      if (v > 0xFFFFFFFFull) return false;
    }
    const auto bits = static_cast<uint32_t>(v);
    value = negative ? static_cast<int32_t>(0u - bits) : static_cast<int32_t>(bits);
    return true;
  }
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<int32_t>(v);
  return true;
}

TIniFile::TIniFile(const std::string& file_name) : FFileName(file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return;
  std::ostringstream content;
  content << in.rdbuf();
  std::string text = content.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  Parse(text);
}

void TIniFile::Parse(std::string_view text) {
  Section* current = nullptr;
  while (!text.empty()) {
    const std::size_t eol = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    std::string_view name;
    std::size_t eq = 0;
    if (ParseIniSection(line, name)) {
      FSections.push_back(Section{std::string(name), {}});
      current = &FSections.back();
    } else if (current != nullptr && ParseIniEntry(line, name, eq)) {
      current->entries.emplace_back(std::string(name), std::string(TrimIniBlanks(line.substr(eq + 1))));
    }
  }
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& default_value) const {
  for (const Section& s : FSections) {
    if (!SameText(s.name, section)) continue;
    for (const auto& [k, v] : s.entries) {
      if (!SameText(k, key)) continue;
      std::string_view value = v;
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      return Utf8Left(value, kMaxValueCharacters);
    }
    // Only the first section of a name counts, as with the system's own profile reader.
    break;
  }
  return default_value;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const {
  int32_t value = 0;
  return TryStrToInt(ReadString(section, key, std::string()), value) ? value : default_value;
}

}  // namespace kestova
