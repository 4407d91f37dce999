#pragma once
// A TCP client for devices that talk in text lines. Connect opens one connection (with a time
// limit) and starts a listening thread that reads every line the device sends and offers it to
// the before-command hook, then to the command handlers, then to the after-command hook.
// Writing sends ASCII text exactly as given. Disconnect closes the connection, which releases
// the listening thread's read at once, and waits for the thread to end.
//
// Threads. Connect, Disconnect, Write and the setters run on the caller's thread (one at a
// time); OnConnected and OnDisconnected run there too. The hooks, the handlers and
// OnListenerEnded run on the listening thread. The client takes no locks around the user's
// state: what a hook shares with the caller's thread is the user's to guard. Disconnect waits
// for the listening thread, except when called from it (from a hook): then the thread ends
// after the hook returns and the next Connect, Disconnect or the destructor joins it. Connect
// must not be called from a hook.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/main_thread.h"
#include "rfid/cmd_context.h"
#include "rfid/cmd_handler.h"
#include "rfid/cmd_io_handler.h"
#include "rfid/cmd_reply.h"

namespace kestova {

class TCmdTCPClient;

using TCmdTCPClientBeforeCommandHandlerEvent =
    std::function<void(TCmdTCPClient& ASender, std::string& AData, TCmdContext& AContext)>;
using TCmdTCPClientAfterCommandHandlerEvent = std::function<void(TCmdTCPClient& ASender, TCmdContext& AContext)>;
using TCmdTCPClientNotifyEvent = std::function<void(TCmdTCPClient& Sender)>;
// AReason: why the thread ended: the error's message ("Max line length exceeded.", the peer
// closed the connection), or empty when it was told to stop.
using TCmdTCPClientListenerEndedEvent = std::function<void(TCmdTCPClient& Sender, const std::string& AReason)>;

// The thread that reads the lines of one connection; owned by the client.
class TCmdTCPClientListeningThread {
 public:
  // Starts at once.
  TCmdTCPClientListeningThread(TCmdTCPClient& client, TCmdIOHandler& connection);
  // Joins (the owner has closed the connection first).
  ~TCmdTCPClientListeningThread();
  TCmdTCPClientListeningThread(const TCmdTCPClientListeningThread&) = delete;
  TCmdTCPClientListeningThread& operator=(const TCmdTCPClientListeningThread&) = delete;

  // Ask the thread to stop after the line it is handling; it stops at once when it waits for
  // a line and the connection is closed.
  void Terminate() noexcept { FTerminated = true; }
  bool Ended() const noexcept { return FThread.Ended(); }
  bool IsCurrentThread() const noexcept { return FThread.IsCurrentThread(); }
  void WaitFor() { FThread.Join(); }

 private:
  void Run();

  TCmdTCPClient& FClient;
  TCmdContext FContext;
  std::string FRecvData;  // the last line read (listening thread only)
  std::atomic<bool> FTerminated{false};
  TWorkerThread FThread;
};

class TCmdTCPClient {
 public:
  TCmdTCPClient();
  // Disconnects (without notifying the peer) and waits for the listening thread.
  virtual ~TCmdTCPClient();
  TCmdTCPClient(const TCmdTCPClient&) = delete;
  TCmdTCPClient& operator=(const TCmdTCPClient&) = delete;

  const std::string& Host() const noexcept { return FHost; }
  void SetHost(std::string host) { FHost = std::move(host); }
  uint16_t Port() const noexcept { return FPort; }
  void SetPort(uint16_t port) noexcept { FPort = port; }
  // The time limit of one connection attempt in milliseconds; 0 or less: no limit.
  int32_t ConnectTimeout() const noexcept { return FConnectTimeout; }
  void SetConnectTimeout(int32_t milliseconds) noexcept { FConnectTimeout = milliseconds; }

  TCmdTCPClientNotifyEvent OnConnected;
  TCmdTCPClientNotifyEvent OnDisconnected;
  TCmdTCPClientBeforeCommandHandlerEvent OnBeforeCommandHandler;
  TCmdTCPClientAfterCommandHandlerEvent OnAfterCommandHandler;
  // Raised on the listening thread as its last act (not when no thread was started).
  TCmdTCPClientListenerEndedEvent OnListenerEnded;

  TCmdHandlers& CommandHandlers() noexcept { return *FCommandHandlers; }
  // Code "500", text "Unknown Internal Error".
  TCmdReply& ExceptionReply() noexcept { return *FExceptionReply; }

  // Open the connection to Host:Port within ConnectTimeout, raise OnConnected, start the
  // listening thread. Raises "Already connected.", "A Host is required", "A Port is required",
  // or the socket's error (not resolved, refused, timed out); nothing is left open then.
  void Connect();
  // Stop the listening thread, close the connection and raise OnDisconnected when one was
  // open, and wait for the thread (unless called on it). Without a connection it only stops
  // a leftover thread. The line-command protocol has no disconnect notice, so ANotifyPeer
  // changes nothing.
  void Disconnect(bool ANotifyPeer = true);
  // A connection is open and its listening thread has not seen it end.
  bool Connected() const noexcept;
  // Send the text as ASCII, nothing appended. Raises when no connection is open.
  void Write(std::string_view text);

 protected:
  // The protocol's disconnect notice: the line-command client has none.
  virtual void DisconnectNotifyPeer() {}

 private:
  friend class TCmdTCPClientListeningThread;
  void ListenerEnded(const std::string& reason) noexcept;
  // Join and free a listening thread that has ended or been told to, and the connection it read.
  void ReleaseListener();

  std::string FHost;
  uint16_t FPort = 0;
  int32_t FConnectTimeout = 0;
  std::unique_ptr<TCmdReply> FExceptionReply;
  std::unique_ptr<TCmdHandlers> FCommandHandlers;
  // The open (or last) connection; freed only after its listening thread has been joined.
  std::unique_ptr<TCmdIOHandler> FIOHandler;
  std::unique_ptr<TCmdTCPClientListeningThread> FListeningThread;
  std::atomic<bool> FOpen{false};      // FIOHandler is open on this side
  std::atomic<bool> FPeerGone{false};  // the listening thread saw the connection end
};

}  // namespace kestova
