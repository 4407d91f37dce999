#include "platform/ini_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/exception.h"
#include "platform/ini_syntax.h"
#include "platform/unique_fd.h"

namespace kestova {
namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }
bool HasOuterBlanks(std::string_view s) { return TrimIniBlanks(s).size() != s.size(); }

[[noreturn]] void Refuse(const char* what, std::string_view text) {
  throw Exception(Format("An INI file cannot hold the %s \"%s\"", what, std::string(text)));
}

[[noreturn]] void Fail(const char* action, const std::string& file, int err) {
  throw Exception(Format("Cannot %s %s: %s", action, file, std::strerror(err)));
}

// The file a link leads to, or `file` itself.
std::string FinalTarget(const std::string& file) {
  struct stat st {};
  if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
  char resolved[PATH_MAX];
  if (realpath(file.c_str(), resolved) == nullptr) return file;
  return resolved;
}

int WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

TIniFileWriter::TIniFileWriter(std::string fileName) : FFileName(std::move(fileName)) {
  UniqueFd fd(open(FFileName.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) return;
    Fail("read", FFileName, errno);
  }
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd.Get(), buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("read", FFileName, errno);
    }
    text.append(buf, static_cast<std::size_t>(n));
  }
  if (text.rfind(kBom, 0) == 0) {
    FBom = kBom;
    text.erase(0, FBom.size());
  }
  bool breakSeen = false;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t eol = text.find_first_of("\r\n", at);
    Line line;
    if (eol == std::string::npos) {
      line.text = text.substr(at);
      at = text.size();
    } else {
      const std::size_t len = text.compare(eol, 2, "\r\n") == 0 ? 2 : 1;
      line.text = text.substr(at, eol - at);
      line.eol = text.substr(eol, len);
      at = eol + len;
      if (!breakSeen) FBreak = line.eol, breakSeen = true;
    }
    FLines.push_back(std::move(line));
  }
}

long TIniFileWriter::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    std::string_view name;
    if (ParseIniSection(FLines[i].text, name) && SameText(name, section)) return static_cast<long>(i);
  }
  return -1;
}

void TIniFileWriter::Append(std::string text) {
  if (!FLines.empty() && FLines.back().eol.empty()) FLines.back().eol = FBreak;
  FLines.push_back(Line{std::move(text), FBreak});
}

void TIniFileWriter::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || section.find(']') != std::string_view::npos || HasOuterBlanks(section))
    Refuse("section name", section);
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos || HasOuterBlanks(key) ||
      key[0] == ';' || key[0] == '[')
    Refuse("key", key);
  if (HasLineBreak(value)) Refuse("value", value);
  const std::string entry = std::string(key) + "=" + std::string(value);

  const long header = FindSection(section);
  if (header < 0) {
    if (!FLines.empty() && !TrimIniBlanks(FLines.back().text).empty()) Append("");
    Append("[" + std::string(section) + "]");
    Append(entry);
    return;
  }
  std::size_t last = static_cast<std::size_t>(header);  // the section's last non-blank line
  for (std::size_t i = last + 1; i < FLines.size(); ++i) {
    std::string& text = FLines[i].text;
    std::string_view name;
    std::size_t eq = 0;
    if (ParseIniSection(text, name)) break;
    if (ParseIniEntry(text, name, eq) && SameText(name, key)) {
      // Keep the line's own spelling of the key and its spacing up to the value.
      std::size_t start = eq + 1;
      while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
      text = text.substr(0, start) + std::string(value);
      return;
    }
    if (!TrimIniBlanks(text).empty()) last = i;
  }
  if (FLines[last].eol.empty()) FLines[last].eol = FBreak;
  FLines.insert(FLines.begin() + static_cast<long>(last) + 1, Line{entry, FBreak});
}

void TIniFileWriter::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

std::string TIniFileWriter::Text() const {
  std::string text = FBom;
  for (const Line& line : FLines) text += line.text + line.eol;
  return text;
}

void TIniFileWriter::UpdateFile() {
  const std::string target = FinalTarget(FFileName);
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;

  std::string temp = target + ".XXXXXX";
  UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) Fail("write", target, errno);
  int err = WriteAll(fd.Get(), Text());
  if (err == 0) {
    // The replacement keeps the old file's permissions and, where allowed, its owner.
    if (existed) {
      [[maybe_unused]] const int ownerRc = fchown(fd.Get(), old.st_uid, old.st_gid);
    }
    if (fchmod(fd.Get(), existed ? (old.st_mode & 07777) : 0644) != 0) err = errno;
  }
  if (err == 0 && fsync(fd.Get()) != 0) err = errno;
  if (err == 0) err = fd.Close();
  if (err == 0 && rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    unlink(temp.c_str());
    Fail("write", target, err);
  }
}

}  // namespace kestova
