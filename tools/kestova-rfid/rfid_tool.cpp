#include "tools/kestova-rfid/rfid_tool.h"

#include <algorithm>
#include <functional>
#include <ostream>

#include "platform/number_text.h"
#include "rfid/rfid_reader.h"
#include "tools/kestova-rfid/tool_log.h"

namespace kestova {
namespace {

constexpr const char* kUsage =
    "usage: kestova-rfid --host HOST --port N [--timeout MS] [--door-pass PIN] [--admin-pass PASS]\n"
    "                    [--simulate] [-v] COMMAND [ARG...]\n"
    "COMMAND: open-door | add-key KEY | delete-key KEY | reset [KEY...] | learn-toggle |\n"
    "         learn-mode | auto-mode | beep\n"
    "       kestova-rfid --help\n";

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "\n"
         "Sends one command to the RFID door reader at HOST:N, each on a connection of its own.\n"
         "\n"
         "  open-door     opens the door with the door PIN\n"
         "  add-key KEY   adds the key to the reader's memory (not 0)\n"
         "  delete-key KEY  deletes the key from it\n"
         "  reset [KEY...]  empties the key memory, waits half a second, adds the keys\n"
         "  learn-toggle  switches learn mode (with the admin password)\n"
         "  learn-mode    prints on or off: the learn mode the reader reports (off when it does not\n"
         "                answer within the timeout)\n"
         "  auto-mode     prints on or off: the automatic mode, likewise\n"
         "  beep          sounds the reader's error beep\n"
         "\n"
         "  --timeout     connect time limit, and how long a query waits for the answer (default 1000)\n"
         "  --door-pass   the reader's door PIN (default "
      << TRfidReader::kDefaultDoorPass
      << ")\n"
         "  --admin-pass  the reader's administrator password (default "
      << TRfidReader::kDefaultAdminPass
      << ")\n"
         "  --simulate    only log what would be sent; nothing touches the network\n"
         "  -v            print the reader's log lines on standard error\n"
         "\n"
         "Exit status: 0 the command was written (or simulated), 1 the reader could not be reached\n"
         "(one line on standard error names why), 2 bad usage.\n";
}

// A command: how many arguments it takes, and what it does (a query returns its answer).
struct TToolCommand {
  const char* Name;
  std::size_t MinArgs;
  std::size_t MaxArgs;
  std::function<std::optional<bool>(TRfidReader&, const std::vector<std::string>&)> Run;
};

const std::vector<TToolCommand>& Commands() {
  using Args = std::vector<std::string>;
  static const std::vector<TToolCommand> commands = {
      {"open-door", 0, 0,
       [](TRfidReader& r, const Args&) {
         r.OpenDoor();
         return std::optional<bool>();
       }},
      {"add-key", 1, 1,
       [](TRfidReader& r, const Args& a) {
         r.AddNewKey(a[0]);
         return std::optional<bool>();
       }},
      {"delete-key", 1, 1,
       [](TRfidReader& r, const Args& a) {
         r.DeleteKey(a[0]);
         return std::optional<bool>();
       }},
      {"reset", 0, SIZE_MAX,
       [](TRfidReader& r, const Args& a) {
         TStringList keys;
         for (const std::string& key : a) keys.Add(key);
         r.ResetReader(a.empty() ? nullptr : &keys);
         return std::optional<bool>();
       }},
      {"learn-toggle", 0, 0,
       [](TRfidReader& r, const Args&) {
         r.ToggleLearnMode();
         return std::optional<bool>();
       }},
      {"learn-mode", 0, 0, [](TRfidReader& r, const Args&) { return std::optional<bool>(r.LearnMode()); }},
      {"auto-mode", 0, 0, [](TRfidReader& r, const Args&) { return std::optional<bool>(r.AutoMode()); }},
      {"beep", 0, 0,
       [](TRfidReader& r, const Args&) {
         r.BeepError();
         return std::optional<bool>();
       }},
  };
  return commands;
}

const TToolCommand* FindCommand(const std::string& name) {
  const auto& commands = Commands();
  const auto found =
      std::find_if(commands.begin(), commands.end(), [&](const TToolCommand& c) { return name == c.Name; });
  return found == commands.end() ? nullptr : &*found;
}

}  // namespace

std::optional<TRfidToolOptions> ParseRfidToolOptions(const std::vector<std::string>& args, std::string& problem,
                                                     bool& help) {
  TRfidToolOptions options;
  help = false;
  bool havePort = false;
  std::size_t i = 0;
  for (; i < args.size() && options.Command.empty(); ++i) {
    const std::string& option = args[i];
    const auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        problem = option + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    long long number = 0;
    if (option == "--help" || option == "-h") {
      help = true;
      return std::nullopt;
    } else if (option == "--host" || option == "--door-pass" || option == "--admin-pass") {
      const std::string* text = value();
      if (text == nullptr) return std::nullopt;
      if (option == "--host") options.Host = *text;
      if (option == "--door-pass") options.DoorPass = *text;
      if (option == "--admin-pass") options.AdminPass = *text;
    } else if (option == "--port") {
      const std::string* text = value();
      if (text == nullptr || !ParseNumber(*text, 1, 65535, number)) {
        if (problem.empty()) problem = "--port needs a number from 1 to 65535";
        return std::nullopt;
      }
      options.Port = static_cast<uint16_t>(number);
      havePort = true;
    } else if (option == "--timeout") {
      const std::string* text = value();
      if (text == nullptr || !ParseNumber(*text, 1, 600000, number)) {
        if (problem.empty()) problem = "--timeout needs a number of milliseconds from 1 to 600000";
        return std::nullopt;
      }
      options.Timeout = static_cast<int32_t>(number);
    } else if (option == "--simulate") {
      options.Simulate = true;
    } else if (option == "-v") {
      options.Verbose = true;
    } else if (option.rfind("-", 0) == 0) {
      problem = "unknown option " + option;
      return std::nullopt;
    } else {
      options.Command = option;
    }
  }
  options.Args.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

  const TToolCommand* command = FindCommand(options.Command);
  if (options.Host.empty())
    problem = "--host is required";
  else if (!havePort)
    problem = "--port is required";
  else if (options.Command.empty())
    problem = "give a command";
  else if (command == nullptr)
    problem = "unknown command " + options.Command;
  else if (options.Args.size() < command->MinArgs || options.Args.size() > command->MaxArgs)
    problem = options.Command + (command->MaxArgs == 0 ? " takes no arguments" : " needs one KEY");
  else if (options.Command == "add-key" && (options.Args[0].empty() || options.Args[0] == "0"))
    problem = "add-key needs a key other than 0";
  if (!problem.empty()) return std::nullopt;
  return options;
}

int RunRfidTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  bool help = false;
  const std::optional<TRfidToolOptions> options = ParseRfidToolOptions(args, problem, help);
  if (help) {
    PrintHelp(out);
    return kRfidExitOk;
  }
  if (!options) {
    err << "kestova-rfid: " << problem << '\n' << kUsage;
    return kRfidExitUsage;
  }

  TToolLog log(options->Verbose ? &err : nullptr);
  std::optional<bool> state;
  {
    TRfidReader reader;
    reader.SetIP(options->Host);
    reader.SetPort(options->Port);
    if (options->Timeout) reader.SetTimeout(*options->Timeout);
    if (options->DoorPass) reader.SetDoorPass(*options->DoorPass);
    if (options->AdminPass) reader.SetAdminPass(*options->AdminPass);
    reader.SetActive(!options->Simulate);
    state = FindCommand(options->Command)->Run(reader, options->Args);
  }
  if (const std::optional<std::string> error = log.FirstError()) {
    err << "kestova-rfid: " << *error << '\n';
    return kRfidExitFailed;
  }
  if (state) out << (*state ? "on" : "off") << '\n';
  return kRfidExitOk;
}

}  // namespace kestova
