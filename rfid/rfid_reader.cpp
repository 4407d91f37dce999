#include "rfid/rfid_reader.h"

#include <exception>
#include <thread>

#include "messaging/file_logger.h"
#include "platform/text_codec.h"

namespace kestova {
namespace {

constexpr const char* kKeyListHeader = "List of saved keys";
// The longest argument of a reply line that is looked at.
constexpr std::size_t kReplyDataLength = 200;

void Log(TLogLevel level, const std::string& text) { Logger().Log(level, text); }

}  // namespace

TRfidReader::TRfidReader() : FTcpClient(std::make_unique<TCmdTCPClient>()) {
  FTcpClient->SetConnectTimeout(kDefaultTimeout);
  FTcpClient->SetPort(0);
  FTcpClient->OnConnected = [this](TCmdTCPClient&) { ClientConnected(); };
  FTcpClient->OnDisconnected = [this](TCmdTCPClient&) { ClientDisconnected(); };
  FTcpClient->OnBeforeCommandHandler = [this](TCmdTCPClient& ASender, std::string& AData, TCmdContext& AContext) {
    PreProcessData(ASender, AData, AContext);
  };
  FTcpClient->OnListenerEnded = [this](TCmdTCPClient&, const std::string&) { ListenerEnded(); };
}

TRfidReader::~TRfidReader() {
  Log(llInfo, "(Destroy) Freeing reader IP=" + FIP + "...");
  FParams.Clear();
  // Close a connection still open while the client can still report it to this reader.
  try {
    FTcpClient->Disconnect(false);
  } catch (...) {
    // Only the notification can raise, and it only logs.
  }
  FTcpClient.reset();
}

void TRfidReader::SetPort(int32_t value) {
  FPort = value;
  FTcpClient->SetPort(value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : 0);
}

void TRfidReader::SetIP(std::string value) {
  FIP = std::move(value);
  FTcpClient->SetHost(FIP);
}

void TRfidReader::SetTimeout(int32_t value) {
  FTimeout = value;
  FTcpClient->SetConnectTimeout(value);
}

std::string TRfidReader::ClientWhere() const { return FTcpClient->Host() + ": " + std::to_string(FTcpClient->Port()); }

std::string TRfidReader::LastError() const {
  const TCmdReply& reply = FTcpClient->ExceptionReply();
  if (!reply.HasCode()) return {};
  std::string text = reply.Code + "-";
  for (const std::string& line : reply.Text.Items()) text += line + "\r\n";
  return text;
}

// --- commands ---

void TRfidReader::OpenDoor() {
  Log(llInfo, "Opening door on " + FDescription + " (" + FIP + ")");
  SendCmd("O" + FDoorPass);
}

void TRfidReader::AddNewKey(const std::string& KeyCard) {
  Log(llInfo, "RFID: Adding key " + KeyCard + " to: " + ClientWhere());
  if (KeyCard.empty() || KeyCard == "0") return;
  SendCmd("C" + KeyCard);
}

void TRfidReader::DeleteKey(const std::string& KeyCard) { SendCmd("D" + KeyCard); }

void TRfidReader::SetIndexToZero() {
  Log(llInfo, "Setting index to zero");
  SendCmd("W" + FAdminPass);
}

void TRfidReader::ToggleLearnMode() { SendCmd("L" + FAdminPass); }

void TRfidReader::BeepError() { SendCmd("e"); }

bool TRfidReader::LearnMode() {
  SendCmd("l", TReply::rLearnMode);
  return FLearnMode;
}

bool TRfidReader::AutoMode() {
  SendCmd("a", TReply::rAutoMode);
  return FAutoMode;
}

void TRfidReader::ResetReader(const TStringList* KeyList) {
  Log(llInfo, "Resetting reader: " + ClientWhere());
  SetIndexToZero();
  std::this_thread::sleep_for(kResetPause);
  if (KeyList == nullptr) return;
  for (const std::string& key : KeyList->Items()) AddNewKey(key);
}

// --- connection ---

void TRfidReader::SendCmd(const std::string& AData, TReply waitFor) {
  if (!FActive) {
    Log(llInfo, "*SIMULATION* Sending: " + AData);
    return;
  }
  Log(llInfo, "Sending to " + FIP + ": " + AData);
  try {
    if (FTcpClient->Connected()) Disconnect(false);
    // Counted before connecting: an answer may come as soon as the connection is up.
    const uint64_t seen = Replies(waitFor);
    if (!Connect2()) return;
    if (FTcpClient->Connected()) {
      Log(llVerbose, "Writing to socket: " + AData);
      FTcpClient->Write(AData);
      FLastSeen = std::chrono::system_clock::now();
      if (waitFor != TReply::rNone) WaitForReply(waitFor, seen);
    }
    Disconnect(false);
  } catch (const std::exception& e) {
    Log(llError, std::string("(SendCmd) Error: ") + e.what());
  }
}

uint64_t TRfidReader::Replies(TReply kind) const {
  std::lock_guard lock(FReplyLock);
  return kind == TReply::rLearnMode ? FLearnReplies : FAutoReplies;
}

void TRfidReader::WaitForReply(TReply kind, uint64_t seen) {
  if (FTimeout <= 0) return;
  std::unique_lock lock(FReplyLock);
  FReplyArrived.wait_for(lock, std::chrono::milliseconds(FTimeout), [&] {
    const uint64_t now = kind == TReply::rLearnMode ? FLearnReplies : FAutoReplies;
    return now != seen || FListenerEnded;
  });
}

bool TRfidReader::Connect2() {
  if (!FActive) {
    Log(llInfo, "*SIMULATION* - Connecting... ");
    return false;
  }
  try {
    FTcpClient->Disconnect(false);
    Log(llVerbose, "RFID: Connecting... ");
    {
      std::lock_guard lock(FReplyLock);
      FListenerEnded = false;
    }
    FTcpClient->Connect();
    if (!FTcpClient->Connected()) return false;
    FLastSeen = std::chrono::system_clock::now();
    return true;
  } catch (const std::exception& e) {
    Log(llError, std::string("(Connect2) Error: ") + e.what());
    return false;
  }
}

void TRfidReader::Disconnect(bool NotifyPeer) {
  Log(llInfo, "(Disconnect) Disconnecting from " + FIP + "...");
  FLastSeen = std::chrono::system_clock::now();
  FTcpClient->Disconnect(NotifyPeer);
}

void TRfidReader::ClientConnected() {
  Log(llVerbose, "Connected to: " + ClientWhere());
  FLastSeen = std::chrono::system_clock::now();
}

void TRfidReader::ClientDisconnected() { Log(llVerbose, "Disconnected from: " + ClientWhere()); }

void TRfidReader::ModeReported(std::atomic<bool>& mode, uint64_t& replies, bool on) {
  {
    std::lock_guard lock(FReplyLock);
    mode = on;
    ++replies;
  }
  FReplyArrived.notify_all();
}

void TRfidReader::ListenerEnded() {
  {
    std::lock_guard lock(FReplyLock);
    FListenerEnded = true;
  }
  FReplyArrived.notify_all();
}

// --- received lines (listening thread) ---

void TRfidReader::PreProcessData(TCmdTCPClient& ASender, std::string& AData, TCmdContext& AContext) {
  Log(llInfo, "(PreProcessData) Reiceved data from " + FIP + ": " + AData);
  const std::string cmd = Utf8Left(AData, 1);
  const std::string data = Utf8Left(std::string_view(AData).substr(cmd.size()), kReplyDataLength);
  Log(llVerbose, "(PreProcessData) cmd: " + cmd);
  Log(llVerbose, "(PreProcessData) data: " + data);

  if (AData.find(kKeyListHeader) != std::string::npos) {
    TStringList keys;
    keys.SetText(AData);
    const int header = keys.IndexOf(kKeyListHeader);
    if (header >= 0) keys.Delete(header);
    FKeys = std::move(keys);
  }

  const bool oneCharacter = Utf8Length(data) == 1;
  if ((cmd == "l" || cmd == "L") && oneCharacter) {
    ModeReported(FLearnMode, FLearnReplies, data == "1");
    return;
  }
  if ((cmd == "a" || cmd == "A") && oneCharacter) {
    ModeReported(FAutoMode, FAutoReplies, data == "1");
    return;
  }
  if (cmd == "D") {
    if (data == "0") Log(llVerbose, "(PreProcessData) Delete key problem: " + data);
    return;
  }
  if (cmd == "W") Log(llVerbose, "(PreProcessData) Reader reset ");
  if (cmd == "C") {
    if (data == "0") Log(llVerbose, "(PreProcessData) Add key problem: " + data);
    return;
  }
  if (OnCommandHandler) OnCommandHandler(ASender, AData, AContext);
}

}  // namespace kestova
