#pragma once
// What a hook or a command handler gets with a received line: the client and the connection the
// line came from. The context refers to both without owning them; it lives as long as the
// listening thread that made it.
//
// Threads: used on the listening thread (in hooks and handlers).
namespace kestova {

class TCmdTCPClient;
class TCmdIOHandler;

class TCmdContext {
 public:
  TCmdContext(TCmdTCPClient& client, TCmdIOHandler& connection) noexcept : FClient(client), FConnection(connection) {}

  TCmdTCPClient& Client() const noexcept { return FClient; }
  TCmdIOHandler& Connection() const noexcept { return FConnection; }

 private:
  TCmdTCPClient& FClient;
  TCmdIOHandler& FConnection;
};

}  // namespace kestova
