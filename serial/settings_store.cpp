#include "serial/settings_store.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/executable_path.h"

namespace kestova {
namespace {

constexpr char kStoreFileName[] = "port-settings.ini";

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/";
}

std::string TrimBackslashes(const std::string& s) {
  const std::size_t first = s.find_first_not_of('\\');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of('\\') - first + 1);
}

}  // namespace

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const std::size_t name = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string RegistryStoreFile(TRegRootKey root) {
  if (root == rrLOCALMACHINE) return std::string("/etc/kestova/") + kStoreFileName;
  // A relative XDG_CONFIG_HOME is not to be used.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base = config != nullptr && config[0] == '/' ? std::string(config) : HomeFolder() + "/.config";
  return base + "/kestova/" + kStoreFileName;
}

TSettingsPlace PlaceSettings(TSettingsStore& store, const std::string& componentName) {
  if (store.Location() == slINIFile) {
    if (store.Key().empty()) store.SetKey(ChangeFileExt(ExecutablePath(), ".INI"));
    if (store.Section().empty()) store.SetSection(componentName);
    return {store.Key(), store.Section()};
  }
  const std::string key = TrimBackslashes(store.Key());
  const std::string section = TrimBackslashes(store.Section());
  std::string path = key.empty() || section.empty() ? key + section : key + "\\" + section;
  if (path.empty()) path = componentName;
  return {RegistryStoreFile(store.RegRoot()), path};
}

}  // namespace kestova
