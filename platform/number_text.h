#pragma once
// Whole numbers given as text (command-line arguments): decimal digits with an optional sign
// (blanks before them are skipped, nothing may follow), within a range.
//
// Thread safety: any thread.
#include <string>

namespace kestova {

// True, with `value` set, when `text` is a decimal integer from `low` to `high`.
bool ParseNumber(const std::string& text, long long low, long long high, long long& value) noexcept;

}  // namespace kestova
