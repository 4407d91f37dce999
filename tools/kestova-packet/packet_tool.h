#pragma once
// The two jobs of kestova-packet, on streams so main() stays a thin shell.
#include <iosfwd>
#include <string>
#include <vector>

namespace kestova {

// Exit statuses: 0 done, 1 the packet could not be decoded or encoded, 2 bad usage.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// `args` are the command-line arguments after the program name.
int RunPacketTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace kestova
