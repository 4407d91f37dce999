#pragma once
// A TLS client session (OpenSSL 3) over a TTcpSocket: Connect makes the TCP connection and then
// the handshake within the same deadline; reads, writes, Wake, Shutdown and Close behave as on
// the plain socket. The library's default protocol settings are kept; the peer's certificate
// is verified against the system's trust store (plus an optional extra CA file) and must name
// the host that was connected to, unless verification is turned off.
//
// Thread safety: as TTcpSocket. OpenSSL does not allow two threads in one session at once, so
// the reading and the writing side take turns inside the library (never while waiting in poll).
#include <memory>
#include <mutex>
#include <string>

#include "platform/tcp_socket.h"

struct ssl_st;
struct ssl_ctx_st;

namespace kestova {

// The TLS layer failed: handshake, certificate verification, or a protocol error later on.
class ETlsError : public ESocketError {
 public:
  using ESocketError::ESocketError;
};

struct TTlsOptions {
  // Check the peer's certificate chain and its name. Turn off only for test brokers with
  // self-signed certificates: without it anyone on the path can read and alter the traffic.
  bool VerifyPeer = true;
  // PEM file with additional trusted certificates (a private or test CA), beside the system's.
  std::string CAFile;
  // Name the certificate must carry and that is sent as SNI; empty: the host given to Connect.
  // A numeric address is matched against the certificate's IP entries (and sends no SNI).
  std::string ServerName;
};

class TTlsStream : public TTcpSocket {
 public:
  explicit TTlsStream(TTlsOptions options = {});
  ~TTlsStream() override;

  const TTlsOptions& Options() const noexcept { return FOptions; }
  // The negotiated protocol ("TLSv1.3"), empty before the handshake. Any thread.
  std::string Protocol() const;

 protected:
  TIoStatus RawRead(void* data, std::size_t size, std::size_t& done) override;
  TIoStatus RawWrite(const void* data, std::size_t size, std::size_t& done) override;
  void AfterConnect(TDeadline deadline) override;
  void BeforeClose(int fd) noexcept override;

 public:
  // Bookkeeping of the socket glue below OpenSSL; public only for that glue.
  struct TBioState {
    int Fd = -1;
    int LastError = 0;  // errno of the last failed transfer
    bool Eof = false;   // the peer closed its side
  };

 private:
  struct TSslFree {
    void operator()(ssl_st* ssl) const noexcept;
    void operator()(ssl_ctx_st* context) const noexcept;
  };
  [[noreturn]] void ThrowTransferError(const char* action, int sslError);

  const TTlsOptions FOptions;
  mutable std::mutex FSslLock;  // one thread inside OpenSSL at a time
  std::unique_ptr<ssl_ctx_st, TSslFree> FContext;
  std::unique_ptr<ssl_st, TSslFree> FSsl;
  TBioState FBio;
  bool FFailed = false;  // a fatal error: the session must not send a close notice
};

}  // namespace kestova
