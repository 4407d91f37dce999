#pragma once
// Command handlers of the line-command client: each recognises lines by their leading command
// word, runs its OnCommand and answers with a reply and response lines. TCmdHandlers is the
// ordered collection the client owns; HandleCommand offers one received line to the hooks and
// the handlers.
//
// Threads: handlers are set up before Connect; HandleCommand, the hooks and OnCommand run on
// the client's listening thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/string_list.h"
#include "rfid/cmd_context.h"
#include "rfid/cmd_reply.h"

namespace kestova {

class TCmdHandler;
class TCmdHandlers;

// One execution of a handler for one matched line; made for the line and freed after it.
class TCmdExecution {
 public:
  TCmdExecution(TCmdHandler& handler, TCmdContext& context, std::string rawLine, std::string unparsedParams);

  TCmdHandler& CommandHandler() const noexcept { return FCommandHandler; }
  TCmdContext& Context() const noexcept { return FContext; }
  const std::string& RawLine() const noexcept { return FRawLine; }
  const std::string& UnparsedParams() const noexcept { return FUnparsedParams; }
  TStringList& Params() noexcept { return FParams; }
  TCmdReply& Reply() noexcept { return FReply; }
  TStringList& Response() noexcept { return FResponse; }
  // Close the connection after this command (copied from the handler).
  bool Disconnect() const noexcept { return FDisconnect; }
  void SetDisconnect(bool value) noexcept { FDisconnect = value; }
  bool PerformReply() const noexcept { return FPerformReply; }
  void SetPerformReply(bool value) noexcept { FPerformReply = value; }
  // Write the (empty) Response even when it has no lines.
  bool SendEmptyResponse() const noexcept { return FSendEmptyResponse; }
  void SetSendEmptyResponse(bool value) noexcept { FSendEmptyResponse = value; }

 private:
  TCmdHandler& FCommandHandler;
  bool FDisconnect;
  TStringList FParams;
  bool FPerformReply;
  std::string FRawLine;
  TCmdReply FReply;
  TStringList FResponse;
  TCmdContext& FContext;
  std::string FUnparsedParams;
  bool FSendEmptyResponse = false;
};

class TCmdHandler {
 public:
  using TCommandEvent = std::function<void(TCmdExecution& ACommand)>;

  // Made by TCmdHandlers::Add.
  TCmdHandler(TCmdHandlers& collection, int id);
  TCmdHandler(const TCmdHandler&) = delete;
  TCmdHandler& operator=(const TCmdHandler&) = delete;

  char CmdDelimiter = ' ';
  std::string Command;
  void* Data = nullptr;  // attached by the user, not owned
  TStringList Description;
  bool Disconnect = false;
  bool Enabled = true;
  TCmdReply ExceptionReply;
  std::string HelpSuperScript;
  bool HelpVisible = true;
  std::string Name;  // "TCmdHandler" + the item's number
  TCmdReply NormalReply;
  TCommandEvent OnCommand;
  char ParamDelimiter = ' ';
  bool ParseParams;
  TStringList Response;
  int32_t Tag = 0;

  // Whether the line is this handler's command; when it is, the handler executes it.
  bool Check(const std::string& line, TCmdContext& context);

 private:
  void Execute(TCmdExecution& command);
  void DoCommand(TCmdExecution& command);
  void SendReply(TCmdExecution& command) const;
  void SplitParams(TCmdExecution& command) const;

  TCmdHandlers& FCollection;
};

class TCmdHandlers {
 public:
  TCmdHandlers(TCmdTCPClient& base, const TCmdReply& exceptionReply);
  TCmdHandlers(const TCmdHandlers&) = delete;
  TCmdHandlers& operator=(const TCmdHandlers&) = delete;

  // A new handler at the end of the list, owned by the collection.
  TCmdHandler& Add();
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TCmdHandler& Items(int index) const;

  TCmdTCPClient& Base() const noexcept { return FBase; }
  const TCmdReply& ExceptionReply() const noexcept { return FExceptionReply; }
  // The ParseParams of handlers added from now on.
  bool ParseParamsDefault() const noexcept { return FParseParamsDef; }
  void SetParseParamsDefault(bool value) noexcept { FParseParamsDef = value; }
  bool PerformReplies() const noexcept { return FPerformReplies; }
  void SetPerformReplies(bool value) noexcept { FPerformReplies = value; }

  // Offer a received line to the before-command hook (which may change it), then to each
  // enabled handler in list order until one takes it, then to the after-command hook (also
  // when a handler raised). True when a handler took the line.
  bool HandleCommand(TCmdContext& context, std::string& data);

 private:
  void DoBeforeCommandHandler(std::string& data, TCmdContext& context);
  void DoAfterCommandHandler(TCmdContext& context);

  TCmdTCPClient& FBase;
  const TCmdReply& FExceptionReply;  // the client's
  bool FParseParamsDef = true;
  bool FPerformReplies = true;
  int FNextId = 0;
  std::vector<std::unique_ptr<TCmdHandler>> FItems;
};

}  // namespace kestova
