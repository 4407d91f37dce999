#pragma once
// --check-config of both server programs: the settings file's effective values and problems on
// standard output, a file that cannot be read on standard error.
#include <iosfwd>
#include <string>

namespace kestova {

inline constexpr int kCheckConfigClean = 0;
inline constexpr int kCheckConfigProblems = 1;
inline constexpr int kCheckConfigUnreadable = 2;

// `settingsFile` as given with --settings (empty: Settings.ini beside the executable); returns
// the exit status.
int RunConfigCheck(const std::string& program, const std::string& settingsFile, std::ostream& out, std::ostream& err);

}  // namespace kestova
