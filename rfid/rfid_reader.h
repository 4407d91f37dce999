#pragma once
// The client side of one networked RFID door reader. Each command is one short text (a letter
// and its argument) written on a connection of its own: connect, write, disconnect. Lines the
// reader sends back while a connection is open are interpreted on the connection's listening
// thread: learn and automatic mode, the key list, failure replies; the rest go to
// OnCommandHandler. Every step is logged through the process-wide file logger.
//
// The two queries (LearnMode, AutoMode) keep their connection open after writing until the
// reader's answer has been interpreted, the reader hangs up, or Timeout milliseconds passed;
// only then do they disconnect and return the state. (Closing right after the write would let
// the answer arrive after the connection was gone, and the query would report the old state.)
//
// Threads: a reader is used by one thread at a time; its commands run on that thread and
// return only after the connection's listening thread has ended. OnCommandHandler runs on the
// listening thread, while the command that opened the connection is in progress.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/string_list.h"
#include "rfid/cmd_tcp_client.h"
#include "rfid/key_card.h"

namespace kestova {

class TRfidReader {
 public:
  static constexpr const char* kDefaultAdminPass = "47109235";
  // The readers' door PIN must match; set DoorPass where they are configured otherwise.
  static constexpr const char* kDefaultDoorPass = "7391";
  static constexpr int32_t kDefaultTimeout = 1000;
  // The reader needs this long after resetting its key index before it takes new keys.
  static constexpr std::chrono::milliseconds kResetPause{500};

  TRfidReader();
  // Logs, then closes a connection still open.
  ~TRfidReader();
  TRfidReader(const TRfidReader&) = delete;
  TRfidReader& operator=(const TRfidReader&) = delete;

  // --- properties ---
  TStringList& Params() noexcept { return FParams; }
  const std::string& Title() const noexcept { return FTitle; }
  void SetTitle(std::string value) { FTitle = std::move(value); }
  int32_t Id() const noexcept { return FId; }
  void SetId(int32_t value) noexcept { FId = value; }
  int32_t Port() const noexcept { return FPort; }
  // Also the connection's port; a value outside 1..65535 leaves the connection without a port
  // (connecting then fails with "A Port is required") instead of reaching another port.
  void SetPort(int32_t value);
  const std::string& Description() const noexcept { return FDescription; }
  void SetDescription(std::string value) { FDescription = std::move(value); }
  const std::string& IP() const noexcept { return FIP; }
  // Also the connection's host.
  void SetIP(std::string value);
  int32_t ResourceId() const noexcept { return FResourceId; }
  void SetResourceId(int32_t value) noexcept { FResourceId = value; }
  int32_t HostelId() const noexcept { return FHostelId; }
  void SetHostelId(int32_t value) noexcept { FHostelId = value; }
  // When the reader was last connected, written to, or disconnected by request.
  TDateTime LastSeen() const noexcept { return FLastSeen; }
  const std::string& AdminPass() const noexcept { return FAdminPass; }
  void SetAdminPass(std::string value) { FAdminPass = std::move(value); }
  const std::string& DoorPass() const noexcept { return FDoorPass; }
  void SetDoorPass(std::string value) { FDoorPass = std::move(value); }
  // Connect time limit in milliseconds (also the connection's), and how long a query waits
  // for its answer.
  int32_t Timeout() const noexcept { return FTimeout; }
  void SetTimeout(int32_t value);
  // False: simulation, commands are only logged.
  bool Active() const noexcept { return FActive; }
  void SetActive(bool value) noexcept { FActive = value; }
  // Query the reader ("l" / "a") and return the state it reported (the stored one in
  // simulation, or when it did not answer within Timeout).
  bool LearnMode();
  bool AutoMode();
  // The key list the reader reported.
  TStringList& Keys() noexcept { return FKeys; }
  const std::string& Uniq() const noexcept { return FUniq; }
  void SetUniq(std::string value) { FUniq = std::move(value); }
  const std::string& CustomParam() const noexcept { return FCustomParam; }
  void SetCustomParam(std::string value) { FCustomParam = std::move(value); }

  // Received lines the reader does not interpret (listening thread).
  TCmdTCPClientBeforeCommandHandlerEvent OnCommandHandler;

  bool IsConnected() const noexcept { return FTcpClient->Connected(); }
  // The connection's exception reply: code, "-", and each text line followed by CR LF.
  std::string LastError() const;

  // --- commands ---
  void OpenDoor();
  // Nothing is sent for an empty key or "0" (the log line is still written).
  void AddNewKey(const std::string& KeyCard);
  void DeleteKey(const std::string& KeyCard);
  void SetIndexToZero();
  void ToggleLearnMode();
  void BeepError();
  // Reset the key index, pause kResetPause, then add each key of KeyList (may be null).
  void ResetReader(const TStringList* KeyList);

  // Open a connection (closing one still open); false when simulating or on failure (logged).
  bool Connect2();
  void Disconnect(bool NotifyPeer);

  // The connection's before-command hook: interprets one received line (listening thread).
  // Public so that received lines can be replayed without a reader on the network.
  void PreProcessData(TCmdTCPClient& ASender, std::string& AData, TCmdContext& AContext);

 private:
  enum class TReply : uint8_t { rNone, rLearnMode, rAutoMode };

  void SendCmd(const std::string& AData, TReply waitFor = TReply::rNone);
  // Wait until an answer of that kind has arrived since `seen`, the connection's listening
  // thread has ended, or Timeout passed.
  void WaitForReply(TReply kind, uint64_t seen);
  uint64_t Replies(TReply kind) const;
  // Store a mode the reader reported and wake a query waiting for it.
  void ModeReported(std::atomic<bool>& mode, uint64_t& replies, bool on);
  void ClientConnected();
  void ClientDisconnected();
  void ListenerEnded();
  // "host: port" of the connection, as the log lines show it.
  std::string ClientWhere() const;

  TStringList FParams;
  std::string FTitle;
  int32_t FId = 0;
  int32_t FPort = 0;
  std::string FDescription;
  std::unique_ptr<TCmdTCPClient> FTcpClient;
  std::string FIP;
  int32_t FResourceId = 0;
  int32_t FHostelId = 0;
  TDateTime FLastSeen{};
  std::string FAdminPass = kDefaultAdminPass;
  std::string FDoorPass = kDefaultDoorPass;
  int32_t FTimeout = kDefaultTimeout;
  bool FActive = true;
  std::atomic<bool> FLearnMode{false};
  std::atomic<bool> FAutoMode{false};
  TStringList FKeys;
  std::string FUniq;
  std::string FCustomParam;

  // Answers to the queries, counted by the listening thread, and the end of that thread.
  mutable std::mutex FReplyLock;
  std::condition_variable FReplyArrived;
  uint64_t FLearnReplies = 0;
  uint64_t FAutoReplies = 0;
  bool FListenerEnded = false;
};

}  // namespace kestova
