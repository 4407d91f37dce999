#pragma once
// kestova-rfid: drives one RFID door reader from the command line, for installers: open the
// door, add or delete a key, reset the key memory, switch or query learn mode, query automatic
// mode, beep.
//
// Runs on the calling thread; the reader's connection has a listening thread of its own while
// a command is in progress.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kestova {

// Exit statuses: 0 the command was written (or simulated), 1 the reader could not be reached,
// 2 bad usage.
inline constexpr int kRfidExitOk = 0;
inline constexpr int kRfidExitFailed = 1;
inline constexpr int kRfidExitUsage = 2;

struct TRfidToolOptions {
  std::string Host;
  uint16_t Port = 0;
  std::optional<int32_t> Timeout;  // milliseconds; the reader's default otherwise
  std::optional<std::string> DoorPass;
  std::optional<std::string> AdminPass;
  bool Simulate = false;
  bool Verbose = false;
  std::string Command;
  std::vector<std::string> Args;
};

// Parses the arguments after the program name. Returns nothing and writes the reason to
// `problem` for bad usage; sets `help` for --help.
std::optional<TRfidToolOptions> ParseRfidToolOptions(const std::vector<std::string>& args, std::string& problem,
                                                     bool& help);

// The whole program: parse, run the command on the reader, report.
int RunRfidTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestova
