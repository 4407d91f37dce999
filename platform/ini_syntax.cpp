#include "platform/ini_syntax.h"

namespace kestova {

std::string_view TrimIniBlanks(std::string_view s) noexcept {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsIniBlankOrComment(std::string_view line) noexcept {
  line = TrimIniBlanks(line);
  return line.empty() || line[0] == ';';
}

bool ParseIniSection(std::string_view line, std::string_view& name) noexcept {
  line = TrimIniBlanks(line);
  if (line.empty() || line[0] != '[') return false;
  const std::size_t close = line.find(']');
  name = TrimIniBlanks(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
  return true;
}

bool ParseIniEntry(std::string_view line, std::string_view& key, std::size_t& eq) noexcept {
  if (IsIniBlankOrComment(line) || TrimIniBlanks(line)[0] == '[') return false;
  eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = TrimIniBlanks(line.substr(0, eq));
  return true;
}

}  // namespace kestova
