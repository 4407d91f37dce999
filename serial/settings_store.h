#pragma once
// Where the port's settings are saved: an INI file or the settings registry. Only the values
// live here; saving and loading belong to the port.
#include <cstdint>
#include <string>

namespace kestova {

enum TRegRootKey : uint8_t { rrCURRENTUSER, rrLOCALMACHINE };
enum TSettingsLocation : uint8_t { slINIFile, slRegistry };

class TSettingsStore {
 public:
  const std::string& Key() const { return FKey; }
  TRegRootKey RegRoot() const { return FRegRoot; }
  TSettingsLocation Location() const { return FLocation; }
  const std::string& Section() const { return FSection; }

  void SetKey(std::string value) { FKey = std::move(value); }
  void SetRegRoot(TRegRootKey value) { FRegRoot = value; }
  void SetLocation(TSettingsLocation value) { FLocation = value; }
  void SetSection(std::string value) { FSection = std::move(value); }

  void Assign(const TSettingsStore& source) { *this = source; }

 private:
  std::string FKey;
  TSettingsLocation FLocation = slINIFile;
  TRegRootKey FRegRoot = rrCURRENTUSER;
  std::string FSection;
};

}  // namespace kestova
