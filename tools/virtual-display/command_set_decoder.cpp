#include "tools/virtual-display/command_set_decoder.h"

namespace kestova {

namespace {

using TAction = TCommandSetDecoder::TAction;
using TCommand = TCommandSetDecoder::TCommand;

constexpr TCommand kEpson[] = {
    {"\x0C", 0, TAction::Clear},
    {"\x1B\x40", 0, TAction::Clear},
    {"\x1B\x74", 1, TAction::Ignore},
    {"\x1F\x24", 2, TAction::ColumnRow},
};
constexpr TCommand kCd5220[] = {
    {"\x0C", 0, TAction::Clear},
    {"\x1B\x40", 0, TAction::Clear},
    {"\x1B\x74", 1, TAction::Ignore},
    {"\x1B\x6C", 2, TAction::ColumnRow},
};
constexpr TCommand kLogicControls[] = {
    {"\x1F", 0, TAction::Clear},
    {"\x11", 0, TAction::Ignore},
    {"\x10", 1, TAction::Position},
};
constexpr TCommand kAedex[] = {
    {"!#1", 0, TAction::Line1},
    {"!#2", 0, TAction::Line2},
    {"\x0D", 0, TAction::LineEnd},
};
constexpr TCommand kFrame[] = {
    {"\x0C", 0, TAction::Clear},
    {"\x0A", 0, TAction::LineFeed},
    {"\x0D", 0, TAction::CarriageReturn},
};

std::span<const TCommand> CommandsOf(TDisplayProtocol protocol) {
  switch (protocol) {
    case prEpson: return kEpson;
    case prCd5220: return kCd5220;
    case prLogicControls: return kLogicControls;
    case prAedex: return kAedex;
    default: return kFrame;
  }
}

// A byte as a number from 1 (a column or line) to a cell index from 0; 0 stays out of range.
std::size_t FromOne(char byte) { return static_cast<std::size_t>(static_cast<unsigned char>(byte)) - 1; }

}  // namespace

TCommandSetDecoder::TCommandSetDecoder(TDisplayProtocol protocol, std::size_t columns, bool wrap)
    : FCommands(CommandsOf(protocol)), FScreen(columns, wrap) {}

std::vector<TDisplayFrame> TCommandSetDecoder::Feed(std::string_view bytes) {
  std::vector<TDisplayFrame> complete;
  for (const char byte : bytes) Take(byte, complete);
  return complete;
}

std::optional<TDisplayFrame> TCommandSetDecoder::Flush() {
  TDisplayFrame shown = FScreen.Shown();
  if (shown == FShown) return std::nullopt;
  FShown = shown;
  return shown;
}

void TCommandSetDecoder::Take(char byte, std::vector<TDisplayFrame>& complete) {
  FCommand += byte;
  bool partial = false;
  for (const TCommand& command : FCommands) {
    const std::size_t size = command.Prefix.size() + command.Arguments;
    if (FCommand.size() <= command.Prefix.size() ? !command.Prefix.starts_with(FCommand)
                                                 : !FCommand.starts_with(command.Prefix))
      continue;
    if (FCommand.size() < size) {
      partial = true;
      continue;
    }
    const ByteString bytes = std::move(FCommand);
    FCommand.clear();
    Run(command, std::string_view(bytes).substr(command.Prefix.size()), complete);
    return;
  }
  if (partial) return;
  // No command of the set: the first byte is shown as it is, and the rest read again after it.
  const ByteString rest = FCommand.substr(1);
  FScreen.Put(FCommand.front());
  FCommand.clear();
  for (const char next : rest) Take(next, complete);
}

void TCommandSetDecoder::Run(const TCommand& command, std::string_view arguments,
                             std::vector<TDisplayFrame>& complete) {
  switch (command.Action) {
    case TAction::Clear:
      if (std::optional<TDisplayFrame> shown = Flush()) complete.push_back(std::move(*shown));
      FScreen.Clear();
      break;
    case TAction::Ignore:
    case TAction::LineEnd: break;
    case TAction::ColumnRow: FScreen.MoveTo(FromOne(arguments[1]), FromOne(arguments[0])); break;
    case TAction::Position: {
      const auto position = static_cast<std::size_t>(static_cast<unsigned char>(arguments[0]));
      FScreen.MoveTo(position / FScreen.Columns(), position % FScreen.Columns());
      break;
    }
    case TAction::LineFeed: FScreen.LineFeed(); break;
    case TAction::CarriageReturn: FScreen.CarriageReturn(); break;
    case TAction::Line1: FScreen.ClearRow(0); break;
    case TAction::Line2: FScreen.ClearRow(1); break;
  }
}

}  // namespace kestova
