#pragma once
// A throw-away certificate authority and a server certificate it signed, made with the openssl
// command line, for TLS tests against loopback servers.
#include <string>

namespace kestova::test {

struct TTestCertificates {
  std::string CAFile;     // the CA's certificate (PEM): what a client trusts
  std::string CAKeyFile;  // the CA's private key
  std::string CertFile;   // the server's certificate, for the names asked for
  std::string KeyFile;    // the server's private key (unencrypted)
};

inline constexpr const char* kLoopbackNames = "DNS:localhost, IP:127.0.0.1, IP:::1";

// Write a fresh CA and server certificate (P-256 keys, valid for two days) into `folder`,
// with file names starting with `prefix` so that several sets can share one folder. `names` are
// the certificate's subject alternative names in openssl's notation (by default the loopback
// names; another name makes a certificate that names the wrong host).
// Raises ETestSupportError with openssl's output when a step fails.
TTestCertificates GenerateTestCertificates(const std::string& folder, const std::string& prefix = "test",
                                           const std::string& names = kLoopbackNames);

}  // namespace kestova::test
