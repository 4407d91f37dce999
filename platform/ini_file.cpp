#include "platform/ini_file.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ascii_text.h"
#include "platform/ini_syntax.h"
#include "platform/text_codec.h"

namespace kestova {

namespace {

// Hexadecimal digits (at least one) whose value fits in 32 bits, however many leading zeros.
bool TryHex32(std::string_view digits, uint32_t& bits) noexcept {
  if (digits.empty()) return false;
  uint64_t v = 0;
  for (char c : digits) {
    const int d = HexDigitValue(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  bits = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) noexcept {
  std::string_view s = text;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    uint32_t bits = 0;
    if (!TryHex32(s, bits)) return false;
    value = static_cast<int32_t>(bits);
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
    uint32_t bits = 0;
    if (!TryHex32(s, bits)) return false;
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

TIniFile::TIniFile(const std::string& fileName) : FFileName(fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::error_code error;
  // A folder opens as a stream but reads nothing.
  if (!in || std::filesystem::is_directory(fileName, error)) return;
  FReadable = true;
  std::ostringstream content;
  content << in.rdbuf();
  std::string text = content.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  Parse(text);
}

void TIniFile::Parse(std::string_view text) {
  TSection* current = nullptr;
  int number = 0;
  while (!text.empty()) {
    ++number;
    // A CR LF pair ends one line, as does a lone CR or LF.
    std::size_t eol = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, eol);
    if (eol != std::string_view::npos && text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n') ++eol;
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    std::string_view name;
    std::size_t eq = 0;
    if (ParseIniSection(line, name)) {
      FSections.push_back(TSection{std::string(name), number, {}});
      current = &FSections.back();
    } else if (current != nullptr && ParseIniEntry(line, name, eq)) {
      current->Entries.push_back(TEntry{std::string(name), std::string(TrimIniBlanks(line.substr(eq + 1))), number});
    } else if (!IsIniBlankOrComment(line)) {
      FSkippedLines.push_back(number);
    }
  }
}

const TIniFile::TEntry* TIniFile::Find(std::string_view section, std::string_view key) const {
  for (const TSection& s : FSections) {
    if (!SameText(s.Name, section)) continue;
    for (const TEntry& entry : s.Entries)
      if (SameText(entry.Key, key)) return &entry;
    // Only the first section of a name counts, as with the system's own profile reader.
    break;
  }
  return nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& defaultValue) const {
  const TEntry* entry = Find(section, key);
  if (entry == nullptr) return defaultValue;
  std::string_view value = entry->Value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return Utf8Left(value, kMaxValueCharacters);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const {
  int32_t value = 0;
  return TryStrToInt(ReadString(section, key, std::string()), value) ? value : defaultValue;
}

}  // namespace kestova
