#pragma once
// Where the port's settings are saved: an INI file or the settings registry. Both are INI files
// on Linux:
// - the INI store (slINIFile) is the file Key, section Section; an empty Key is the
//   executable's path with its extension replaced by ".INI", an empty Section the component's
//   name, and the store keeps these defaults once used;
// - the registry store (slRegistry) is one file per root, "port-settings.ini" in
//   $XDG_CONFIG_HOME/kestova (~/.config/kestova without it) for rrCURRENTUSER and in
//   /etc/kestova for rrLOCALMACHINE. Its section is the registry path Key\Section (backslashes
//   at either end dropped; the component's name when both are empty), for saving and loading
//   alike. The folder is made when the first settings are saved.
//
// Thread safety: the owner's thread, like the port's properties.
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

// The file and section that hold a component's values.
struct TSettingsPlace {
  std::string File;
  std::string Section;
};

// The place of `store` for the component `componentName`; an INI store takes its defaults
// (which needs the executable's path: Exception when it cannot be found).
TSettingsPlace PlaceSettings(TSettingsStore& store, const std::string& componentName);

// The registry store's file for `root`.
std::string RegistryStoreFile(TRegRootKey root);

// `path` with the extension of its file name replaced by `ext` (added when it has none).
std::string ChangeFileExt(const std::string& path, const std::string& ext);

}  // namespace kestova
