#include "platform/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestova {

namespace {

// Everything OpenSSL queued on this thread, oldest first; the queue is left empty.
std::string TakeOpenSslErrors() {
  std::string text;
  while (const unsigned long code = ::ERR_get_error()) {
    char line[256];
    ::ERR_error_string_n(code, line, sizeof line);
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

bool IsNumericAddress(const std::string& name) {
  unsigned char address[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, name.c_str(), address) == 1 || ::inet_pton(AF_INET6, name.c_str(), address) == 1;
}

// OpenSSL's own socket glue writes with write(2), which raises SIGPIPE when the peer is gone;
// this one sends with MSG_NOSIGNAL so a dropped broker is an error, not the end of the process.
using TBioState = TTlsStream::TBioState;

TBioState* StateOf(BIO* bio) { return static_cast<TBioState*>(::BIO_get_data(bio)); }

int BioWrite(BIO* bio, const char* data, size_t size, size_t* written) {
  TBioState* state = StateOf(bio);
  ::BIO_clear_retry_flags(bio);
  for (;;) {
    const ssize_t n = ::send(state->Fd, data, size, MSG_NOSIGNAL);
    if (n >= 0) {
      *written = static_cast<size_t>(n);
      return 1;
    }
    if (errno == EINTR) continue;
    state->LastError = errno;
    if (errno == EAGAIN || errno == EWOULDBLOCK) ::BIO_set_retry_write(bio);
    return 0;
  }
}

int BioRead(BIO* bio, char* data, size_t size, size_t* readBytes) {
  TBioState* state = StateOf(bio);
  ::BIO_clear_retry_flags(bio);
  for (;;) {
    const ssize_t n = ::recv(state->Fd, data, size, 0);
    if (n > 0) {
      *readBytes = static_cast<size_t>(n);
      return 1;
    }
    if (n == 0) {
      state->Eof = true;
      return 0;
    }
    if (errno == EINTR) continue;
    state->LastError = errno;
    if (errno == EAGAIN || errno == EWOULDBLOCK) ::BIO_set_retry_read(bio);
    return 0;
  }
}

long BioControl(BIO* bio, int command, long, void*) {
  switch (command) {
    case BIO_CTRL_FLUSH: return 1;  // nothing is held back
    case BIO_CTRL_EOF: return StateOf(bio)->Eof ? 1 : 0;
    default: return 0;
  }
}

BIO_METHOD* SocketBioMethod() {
  struct TFree {
    void operator()(BIO_METHOD* method) const noexcept { ::BIO_meth_free(method); }
  };
  // One method table for the process, built on first use.
  static const std::unique_ptr<BIO_METHOD, TFree> method = [] {
    std::unique_ptr<BIO_METHOD, TFree> m(
        ::BIO_meth_new(::BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kestova socket"));
    if (m) {
      ::BIO_meth_set_write_ex(m.get(), BioWrite);
      ::BIO_meth_set_read_ex(m.get(), BioRead);
      ::BIO_meth_set_ctrl(m.get(), BioControl);
    }
    return m;
  }();
  return method.get();
}

}  // namespace

void TTlsStream::TSslFree::operator()(ssl_st* ssl) const noexcept { ::SSL_free(ssl); }
void TTlsStream::TSslFree::operator()(ssl_ctx_st* context) const noexcept { ::SSL_CTX_free(context); }

TTlsStream::TTlsStream(TTlsOptions options) : FOptions(std::move(options)) {}

TTlsStream::~TTlsStream() {
  // Here, while the session still exists: the base destructor could no longer send the notice.
  Close();
}

std::string TTlsStream::Protocol() const {
  std::lock_guard lock(FSslLock);
  if (!FSsl || !IsConnected()) return {};
  return ::SSL_get_version(FSsl.get());
}

void TTlsStream::AfterConnect(TDeadline deadline) {
  Report(TSocketStatus::ssHandshaking, Host());
  const std::string where = Where();
  const auto fail = [&](const std::string& what) -> ETlsError {
    return ETlsError(Format("TLS handshake with %s failed: %s", where, what));
  };

  ::ERR_clear_error();
  std::unique_ptr<ssl_ctx_st, TSslFree> context(::SSL_CTX_new(::TLS_client_method()));
  if (!context) throw fail("could not create the TLS context: " + TakeOpenSslErrors());
  // Brokers often drop the connection without a close notice; MQTT's framing already detects
  // a cut-off packet, so that counts as an ordinary end of the connection.
  ::SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (FOptions.VerifyPeer) {
    ::SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    if (::SSL_CTX_set_default_verify_paths(context.get()) != 1)
      throw fail("could not load the system's trusted certificates: " + TakeOpenSslErrors());
    if (!FOptions.CAFile.empty() && ::SSL_CTX_load_verify_file(context.get(), FOptions.CAFile.c_str()) != 1)
      throw fail(Format("could not load the CA file \"%s\": %s", FOptions.CAFile, TakeOpenSslErrors()));
  } else {
    ::SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
  }

  std::unique_ptr<ssl_st, TSslFree> ssl(::SSL_new(context.get()));
  if (!ssl) throw fail("could not create the TLS session: " + TakeOpenSslErrors());
  const std::string name = FOptions.ServerName.empty() ? Host() : FOptions.ServerName;
  const bool numeric = IsNumericAddress(name);
  // Server name indication carries host names only, never addresses.
  if (!numeric && ::SSL_set_tlsext_host_name(ssl.get(), name.c_str()) != 1)
    throw fail("could not set the server name: " + TakeOpenSslErrors());
  if (FOptions.VerifyPeer) {
    const int ok = numeric ? ::X509_VERIFY_PARAM_set1_ip_asc(::SSL_get0_param(ssl.get()), name.c_str())
                           : ::SSL_set1_host(ssl.get(), name.c_str());
    if (ok != 1) throw fail(Format("could not set the name to verify (%s): %s", name, TakeOpenSslErrors()));
  }

  BIO* bio = ::BIO_new(SocketBioMethod());
  if (bio == nullptr) throw fail("could not create the socket glue: " + TakeOpenSslErrors());
  FBio.Fd = Fd();
  ::BIO_set_data(bio, &FBio);
  ::BIO_set_init(bio, 1);
  ::SSL_set_bio(ssl.get(), bio, bio);  // the session owns the glue from here

  for (;;) {
    ::ERR_clear_error();
    const int rc = ::SSL_connect(ssl.get());
    if (rc == 1) break;
    const int error = ::SSL_get_error(ssl.get(), rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (!WaitReady(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
        throw ESocketTimeout(Format("TLS handshake with %s timed out", where), ETIMEDOUT);
      continue;
    }
    const long verify = ::SSL_get_verify_result(ssl.get());
    const std::string queued = TakeOpenSslErrors();
    if (FOptions.VerifyPeer && verify != X509_V_OK)
      throw fail(Format("certificate verification failed (%s)", ::X509_verify_cert_error_string(verify)));
    if (error == SSL_ERROR_SYSCALL && queued.empty())
      throw fail(FBio.Eof ? std::string("the peer closed the connection") : std::strerror(FBio.LastError));
    throw fail(queued.empty() ? Format("error %d", error) : queued);
  }

  std::lock_guard lock(FSslLock);
  FContext = std::move(context);
  FSsl = std::move(ssl);
}

void TTlsStream::ThrowTransferError(const char* action, int sslError) {
  FFailed = true;
  const std::string queued = TakeOpenSslErrors();
  if (sslError == SSL_ERROR_SYSCALL && queued.empty()) {
    throw ESocketError(Format("%s %s failed: %s", action, Where(), std::strerror(FBio.LastError)), FBio.LastError);
  }
  throw ETlsError(
      Format("%s %s failed: %s", action, Where(), queued.empty() ? Format("TLS error %d", sslError) : queued));
}

TTcpSocket::TIoStatus TTlsStream::RawRead(void* data, std::size_t size, std::size_t& done) {
  std::lock_guard lock(FSslLock);
  ::ERR_clear_error();
  if (::SSL_read_ex(FSsl.get(), data, size, &done) == 1) return TIoStatus::ioDone;
  const int error = ::SSL_get_error(FSsl.get(), 0);
  switch (error) {
    case SSL_ERROR_WANT_READ: return TIoStatus::ioWantRead;
    case SSL_ERROR_WANT_WRITE: return TIoStatus::ioWantWrite;
    case SSL_ERROR_ZERO_RETURN: return TIoStatus::ioEof;
    default: ThrowTransferError("Reading from", error);
  }
}

TTcpSocket::TIoStatus TTlsStream::RawWrite(const void* data, std::size_t size, std::size_t& done) {
  std::lock_guard lock(FSslLock);
  ::ERR_clear_error();
  if (::SSL_write_ex(FSsl.get(), data, size, &done) == 1) return TIoStatus::ioDone;
  const int error = ::SSL_get_error(FSsl.get(), 0);
  switch (error) {
    case SSL_ERROR_WANT_READ: return TIoStatus::ioWantRead;
    case SSL_ERROR_WANT_WRITE: return TIoStatus::ioWantWrite;
    case SSL_ERROR_ZERO_RETURN: return TIoStatus::ioEof;
    default: ThrowTransferError("Writing to", error);
  }
}

void TTlsStream::BeforeClose(int) noexcept {
  std::lock_guard lock(FSslLock);
  if (!FSsl || FFailed) return;
  // One try without waiting: the close notice goes out when the socket can take it.
  ::ERR_clear_error();
  ::SSL_shutdown(FSsl.get());
  ::ERR_clear_error();
}

}  // namespace kestova
