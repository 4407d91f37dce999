#include "tests/support/test_certificates.h"

#include <fstream>

#include "platform/format.h"
#include "tests/support/child_process.h"
#include "tests/support/support_error.h"

namespace kestova::test {

namespace {

constexpr const char* OpenSsl = "/usr/bin/openssl";

// Our own configuration, so the system's openssl.cnf cannot add or refuse extensions.
constexpr const char* Config = R"(
[req]
distinguished_name = subject
prompt = no

[subject]
CN = Kestova Test CA

[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = )";
// After the names asked for.
constexpr const char* ConfigTail = R"(
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
)";

}  // namespace

TTestCertificates GenerateTestCertificates(const std::string& folder, const std::string& prefix,
                                           const std::string& names) {
  const std::string base = folder + "/" + prefix;
  const std::string config = base + "-openssl.cnf";
  {
    std::ofstream out(config, std::ios::trunc);
    out << Config << names << ConfigTail;
    if (!out) throw ETestSupportError(Format("Could not write %s", config));
  }
  TTestCertificates files{base + "-ca.crt", base + "-ca.key", base + "-server.crt", base + "-server.key"};
  const std::string request = base + "-server.csr";

  RunProgramOrThrow({OpenSsl, "req", "-x509", "-config", config, "-extensions", "ca", "-newkey", "ec", "-pkeyopt",
                     "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", files.CAKeyFile, "-out", files.CAFile,
                     "-days", "2"});
  RunProgramOrThrow({OpenSsl, "req", "-new", "-config", config, "-subj", "/CN=localhost", "-newkey", "ec", "-pkeyopt",
                     "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", files.KeyFile, "-out", request});
  RunProgramOrThrow({OpenSsl, "x509", "-req", "-in", request, "-CA", files.CAFile, "-CAkey", files.CAKeyFile,
                     "-set_serial", "2", "-days", "2", "-extfile", config, "-extensions", "server", "-out",
                     files.CertFile});
  return files;
}

}  // namespace kestova::test
