#pragma once
// Read-only INI file with the private-profile rules the settings rely on:
// case-insensitive sections and keys, first match wins, blanks and one pair of quotes stripped
// from a value, at most 2047 characters of a value, and defaults for whatever is missing.
// The file is read once, at construction; a missing or unreadable file behaves as an empty one.
// Every section, key and skipped line keeps its line number, so a settings check can point at it.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestova {

class TIniFile {
 public:
  static constexpr std::size_t kMaxValueCharacters = 2047;

  struct TEntry {
    std::string Key;
    std::string Value;  // as written, blanks around it removed, quotes kept
    int Line = 0;       // from 1
  };
  struct TSection {
    std::string Name;
    int Line = 0;
    std::vector<TEntry> Entries;
  };

  explicit TIniFile(const std::string& fileName);

  const std::string& FileName() const noexcept { return FFileName; }
  // False when the file could not be opened (it then reads as empty).
  bool Readable() const noexcept { return FReadable; }
  std::string ReadString(std::string_view section, std::string_view key, const std::string& defaultValue) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // The entry a read of section and key takes, or null.
  const TEntry* Find(std::string_view section, std::string_view key) const;

  // In file order, repeated sections included (only the first of a name is read).
  const std::vector<TSection>& Sections() const noexcept { return FSections; }
  // Lines that are neither blank, a comment, a section nor a key in a section: the reader skips them.
  const std::vector<int>& SkippedLines() const noexcept { return FSkippedLines; }

 private:
  void Parse(std::string_view text);

  std::string FFileName;
  bool FReadable = false;
  std::vector<TSection> FSections;
  std::vector<int> FSkippedLines;
};

// Integer text as the INI reader converts it: "0x"/"0X" (when longer than two characters) or "$"
// introduce hexadecimal, otherwise signed decimal; false when it does not convert completely or
// leaves the 32-bit range. Hexadecimal takes any 32-bit pattern, so $FFFFFFFF is -1.
bool TryStrToInt(std::string_view text, int32_t& value) noexcept;

}  // namespace kestova
