#include "rfid/cmd_handler.h"

#include <exception>

#include "platform/ascii_text.h"
#include "platform/exception.h"
#include "rfid/cmd_io_handler.h"
#include "rfid/cmd_tcp_client.h"

namespace kestova {
namespace {

void WriteLines(TCmdContext& context, const TStringList& lines) {
  std::string text;
  for (const std::string& line : lines.Items()) text += line + "\r\n";
  context.Connection().Write(text);
}

}  // namespace

// --- TCmdExecution ---

TCmdExecution::TCmdExecution(TCmdHandler& handler, TCmdContext& context, std::string rawLine,
                             std::string unparsedParams)
    : FCommandHandler(handler),
      FDisconnect(handler.Disconnect),
      FPerformReply(true),
      FRawLine(std::move(rawLine)),
      FContext(context),
      FUnparsedParams(std::move(unparsedParams)) {}

// --- TCmdHandler ---

TCmdHandler::TCmdHandler(TCmdHandlers& collection, int id)
    : Name("TCmdHandler" + std::to_string(id)), ParseParams(collection.ParseParamsDefault()), FCollection(collection) {
  NormalReply.Code = "200";
}

bool TCmdHandler::Check(const std::string& line, TCmdContext& context) {
  std::string unparsed;
  if (SameText(line, Command)) {
    // The whole line is the command: no parameters.
  } else if (CmdDelimiter != '\0') {
    const std::string prefix = Command + CmdDelimiter;
    if (!StartsWithText(line, prefix)) return false;
    unparsed = line.substr(prefix.size());
  } else {
    if (!StartsWithText(line, Command)) return false;
    unparsed = line.substr(Command.size());
  }
  TCmdExecution command(*this, context, line, std::move(unparsed));
  command.SetPerformReply(FCollection.PerformReplies());
  Execute(command);
  return true;
}

void TCmdHandler::SplitParams(TCmdExecution& command) const {
  TStringList& params = command.Params();
  params.Clear();
  if (ParamDelimiter == ' ') {
    // Runs of spaces separate the parameters; each piece is kept as it is.
    std::string_view rest = command.UnparsedParams();
    while (!rest.empty()) {
      const std::size_t space = rest.find(' ');
      const std::string_view piece = rest.substr(0, space);
      if (!piece.empty()) params.Add(std::string(piece));
      if (space == std::string_view::npos) break;
      rest.remove_prefix(space + 1);
    }
    return;
  }
  std::string_view rest = TrimBlanks(command.UnparsedParams());
  while (!rest.empty()) {
    const std::size_t at = rest.find(ParamDelimiter);
    const std::string_view piece = TrimBlanks(rest.substr(0, at));
    if (!piece.empty()) params.Add(std::string(piece));
    if (at == std::string_view::npos) break;
    rest.remove_prefix(at + 1);
  }
}

void TCmdHandler::Execute(TCmdExecution& command) {
  if (ParseParams) SplitParams(command);
  bool failed = false;
  try {
    DoCommand(command);
  } catch (const std::exception& e) {
    command.Reply().Clear();
    if (!FCollection.PerformReplies()) throw;
    command.Reply() = ExceptionReply.HasCode() ? ExceptionReply : FCollection.ExceptionReply();
    if (!command.Reply().HasCode()) throw;
    command.Reply().Text.Add(e.what());
    failed = true;
  }
  if (command.PerformReply()) SendReply(command);
  if (!failed) {
    if (command.Response().Count() > 0 || command.SendEmptyResponse())
      WriteLines(command.Context(), command.Response());
    else if (Response.Count() > 0)
      WriteLines(command.Context(), Response);
  }
  if (command.Disconnect()) command.Context().Client().Disconnect(true);
}

void TCmdHandler::DoCommand(TCmdExecution& command) {
  if (!command.Reply().HasCode()) command.Reply() = NormalReply;
  if (OnCommand) OnCommand(command);
  if (!command.Reply().HasCode()) command.Reply() = NormalReply;
}

void TCmdHandler::SendReply(TCmdExecution& command) const {
  command.Context().Connection().Write(command.Reply().Format());
}

// --- TCmdHandlers ---

TCmdHandlers::TCmdHandlers(TCmdTCPClient& base, const TCmdReply& exceptionReply)
    : FBase(base), FExceptionReply(exceptionReply) {}

TCmdHandler& TCmdHandlers::Add() {
  FItems.push_back(std::make_unique<TCmdHandler>(*this, FNextId++));
  return *FItems.back();
}

TCmdHandler& TCmdHandlers::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return *FItems[static_cast<std::size_t>(index)];
}

bool TCmdHandlers::HandleCommand(TCmdContext& context, std::string& data) {
  bool handled = false;
  // Handlers added by a handler meanwhile wait for the next line.
  const int count = Count();
  DoBeforeCommandHandler(data, context);
  try {
    for (int i = 0; i < count && i < Count(); ++i) {
      TCmdHandler& handler = *FItems[static_cast<std::size_t>(i)];
      if (handler.Enabled && handler.Check(data, context)) {
        handled = true;
        break;
      }
    }
  } catch (...) {
    DoAfterCommandHandler(context);
    throw;
  }
  DoAfterCommandHandler(context);
  return handled;
}

void TCmdHandlers::DoBeforeCommandHandler(std::string& data, TCmdContext& context) {
  if (FBase.OnBeforeCommandHandler) FBase.OnBeforeCommandHandler(FBase, data, context);
}

void TCmdHandlers::DoAfterCommandHandler(TCmdContext& context) {
  if (FBase.OnAfterCommandHandler) FBase.OnAfterCommandHandler(FBase, context);
}

}  // namespace kestova
