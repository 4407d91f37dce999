#pragma once
// A throw-away certificate authority and a server certificate it signed, made with the openssl
// command line, for TLS tests against loopback servers.
#include <string>

namespace kestova::test {

struct TTestCertificates {
  std::string CAFile;     // the CA's certificate (PEM): what a client trusts
  std::string CAKeyFile;  // the CA's private key
  std::string CertFile;   // the server's certificate, valid for localhost, 127.0.0.1 and ::1
  std::string KeyFile;    // the server's private key (unencrypted)
};

// Write a fresh CA and server certificate (P-256 keys, valid for two days) into `folder`,
// with file names starting with `prefix` so that several sets can share one folder.
// Raises ETestSupportError with openssl's output when a step fails.
TTestCertificates GenerateTestCertificates(const std::string& folder, const std::string& prefix = "test");

}  // namespace kestova::test
