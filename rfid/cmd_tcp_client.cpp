#include "rfid/cmd_tcp_client.h"

#include <chrono>
#include <exception>

namespace kestova {

// --- TCmdTCPClientListeningThread ---

TCmdTCPClientListeningThread::TCmdTCPClientListeningThread(TCmdTCPClient& client, TCmdIOHandler& connection)
    : FClient(client), FContext(client, connection) {
  FThread.Start("cmd-listener", [this] { Run(); });
}

TCmdTCPClientListeningThread::~TCmdTCPClientListeningThread() {
  Terminate();
  FThread.Join();
}

void TCmdTCPClientListeningThread::Run() {
  std::string reason;
  try {
    while (!FTerminated) {
      FRecvData = FContext.Connection().ReadLn();
      // A line no handler takes needs nothing more: the client has no unknown-command answer.
      FClient.CommandHandlers().HandleCommand(FContext, FRecvData);
      // The connection is checked by the next read, which raises once it has been closed.
    }
  } catch (const ESocketInterrupted&) {
    // Closed by Disconnect: the thread was told to stop.
  } catch (const ESocketError& e) {
    FClient.FPeerGone = true;
    reason = e.Message();
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = "Unknown error";
  }
  FClient.ListenerEnded(reason);
}

// --- TCmdTCPClient ---

TCmdTCPClient::TCmdTCPClient()
    : FExceptionReply(std::make_unique<TCmdReply>()),
      FCommandHandlers(std::make_unique<TCmdHandlers>(*this, *FExceptionReply)) {
  FExceptionReply->Code = "500";
  FExceptionReply->Text.Add("Unknown Internal Error");
}

TCmdTCPClient::~TCmdTCPClient() {
  try {
    Disconnect(false);
  } catch (...) {
    // An OnDisconnected handler that raises cannot stop the client from going away.
  }
  ReleaseListener();
}

bool TCmdTCPClient::Connected() const noexcept { return FOpen.load() && !FPeerGone.load(); }

void TCmdTCPClient::Connect() {
  if (Connected()) throw Exception("Already connected.");
  if (FHost.empty()) throw Exception("A Host is required");
  if (FPort == 0) throw Exception("A Port is required");
  // A connection the peer has ended is still open on this side: close it first.
  Disconnect(false);

  auto connection = std::make_unique<TCmdIOHandler>();
  const TDeadline deadline =
      FConnectTimeout > 0 ? TDeadline::After(std::chrono::milliseconds(FConnectTimeout)) : TDeadline::Never();
  connection->Open(FHost, FPort, deadline);  // a failed open leaves the socket closed
  FIOHandler = std::move(connection);
  FPeerGone = false;
  FOpen = true;
  if (OnConnected) OnConnected(*this);
  FListeningThread = std::make_unique<TCmdTCPClientListeningThread>(*this, *FIOHandler);
}

void TCmdTCPClient::Disconnect(bool ANotifyPeer) {
  const bool onListener = FListeningThread && FListeningThread->IsCurrentThread();
  if (FListeningThread) FListeningThread->Terminate();
  try {
    if (ANotifyPeer && Connected()) {
      try {
        DisconnectNotifyPeer();
      } catch (...) {
        // The peer learns of the end anyway when the connection closes.
      }
    }
    if (FOpen.exchange(false)) {
      FIOHandler->Close();
      if (OnDisconnected) OnDisconnected(*this);
    }
  } catch (...) {
    if (!onListener) ReleaseListener();
    throw;
  }
  if (!onListener) ReleaseListener();
}

void TCmdTCPClient::ReleaseListener() {
  if (FListeningThread) {
    // A thread still reading must not outlive its connection: close it first.
    if (FIOHandler) FIOHandler->Close();
    FListeningThread.reset();
  }
  if (!FOpen.load()) FIOHandler.reset();
}

void TCmdTCPClient::Write(std::string_view text) {
  if (!FOpen.load() || !FIOHandler) throw Exception("Not Connected");
  FIOHandler->Write(text);
}

void TCmdTCPClient::ListenerEnded(const std::string& reason) noexcept {
  try {
    if (OnListenerEnded) OnListenerEnded(*this, reason);
  } catch (...) {
    // The thread ends either way.
  }
}

}  // namespace kestova
