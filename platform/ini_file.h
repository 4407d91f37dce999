#pragma once
// Read-only INI file with the private-profile rules the settings rely on:
// case-insensitive sections and keys, first match wins, blanks and one pair of quotes stripped
// from a value, at most 2047 characters of a value, and defaults for whatever is missing.
// The file is read once, at construction; a missing or unreadable file behaves as an empty one.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestova {

class TIniFile {
 public:
  static constexpr std::size_t kMaxValueCharacters = 2047;

  explicit TIniFile(const std::string& file_name);

  const std::string& FileName() const noexcept { return FFileName; }
  std::string ReadString(std::string_view section, std::string_view key, const std::string& default_value) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  void Parse(std::string_view text);

  std::string FFileName;
  std::vector<Section> FSections;
};

// Integer text as the INI reader converts it: "0x"/"0X" (when longer than two characters) or "$"
// introduce hexadecimal, otherwise signed decimal; false when it does not convert completely or
// leaves the 32-bit range. Hexadecimal takes any 32-bit pattern, so $FFFFFFFF is -1.
bool TryStrToInt(std::string_view text, int32_t& value) noexcept;

}  // namespace kestova
