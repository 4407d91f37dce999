#pragma once
// Changes values of an INI file and keeps the rest of it as it was: comments, blank lines,
// other sections and keys, the order of lines, their line breaks and a byte-order mark. It
// finds sections and keys by the rules of TIniFile (ini_file.h): letter case ignored, the first
// section of a name and the first key of a name count, so what it writes is what TIniFile reads.
//
// The file is replaced in one step: the new text goes to a temporary file beside it, which is
// then renamed over it, so a reader never sees half a file and a failed write leaves the old
// file as it was. A link is followed: the file it points to is the one replaced.
//
// Thread safety: one thread uses an object at a time.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestova {

class TIniFileWriter {
 public:
  // Reads `fileName`; a missing file is an empty one. Raises Exception when the file exists
  // but cannot be read.
  explicit TIniFileWriter(std::string fileName);

  const std::string& FileName() const noexcept { return FFileName; }

  // Sets `key` of `section` to `value` in the text: the key's line is changed in place, a
  // missing key goes after the last line of its section, a missing section at the end. Raises
  // Exception for names that TIniFile would find differently (line breaks, ']' in a section
  // name, '=' in a key, blanks around either, a key that begins a comment) and for a value
  // with a line break.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value);

  // Writes the text to the file (temporary file, then rename). Raises Exception with the
  // system's reason when it cannot; no temporary file is left behind then.
  void UpdateFile();

  // The text as it stands.
  std::string Text() const;

 private:
  struct Line {
    std::string text;
    std::string eol;  // the line's own break; empty only on a last line without one
  };
  // Index of the first section header named `section`, or -1.
  long FindSection(std::string_view section) const;
  void Append(std::string text);

  std::string FFileName;
  std::string FBom;
  std::vector<Line> FLines;
  std::string FBreak = "\n";  // for new lines: the file's first line break
};

}  // namespace kestova
