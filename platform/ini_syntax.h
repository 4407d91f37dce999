#pragma once
// The line rules that the INI reader and writer share, so that a value written is the value
// read: blanks are spaces and tabs; a line whose first non-blank is ';' is a comment; '['
// begins a section header whose name ends at ']' (or the line's end); any other line with '='
// is key=value. Names and values are taken without the blanks around them.
#include <cstddef>
#include <string_view>

namespace kestova {

std::string_view TrimIniBlanks(std::string_view s) noexcept;

// True when `line` holds nothing but blanks, or is a comment.
bool IsIniBlankOrComment(std::string_view line) noexcept;

// True when `line` is a section header; `name` is its trimmed name.
bool ParseIniSection(std::string_view line, std::string_view& name) noexcept;

// True when `line` is key=value; `key` is the trimmed key and `eq` the position of '=' in `line`.
bool ParseIniEntry(std::string_view line, std::string_view& key, std::size_t& eq) noexcept;

}  // namespace kestova
