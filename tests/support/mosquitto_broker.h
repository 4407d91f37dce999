#pragma once
// A real mosquitto broker for integration tests: started from a configuration written to a
// temporary folder, listening on free 127.0.0.1 ports, waited for until its listeners are
// open, stopped by its process id. What it logs is collected (Log) for failure messages.
//
// Thread safety: one thread starts, stops and restarts the broker; Log, Host, Port, TlsPort
// and Pid may be called from any thread.
#include <sys/types.h>

#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/output_watcher.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {

struct TBrokerUser {
  std::string User;
  std::string Password;
};

// A TLS listener on a second port, with the server's certificate and key (PEM files).
struct TBrokerTls {
  std::string CertFile;
  std::string KeyFile;
  std::string CAFile;  // optional: only needed when clients must present certificates
};

struct TBrokerOptions {
  bool AllowAnonymous = true;
  // Accounts written to a password file with mosquitto_passwd.
  std::vector<TBrokerUser> Users;
  // Messages queued per client beyond those in flight; -1 keeps the broker's default,
  // 0 means no limit.
  int MaxQueuedMessages = -1;
  std::optional<TBrokerTls> Tls;
  // Further global options, one per line, added before the listeners.
  std::string ExtraConfig;
};

class TMosquittoBroker {
 public:
  static constexpr const char* Program = "/usr/sbin/mosquitto";

  // Writes nothing and starts nothing yet.
  explicit TMosquittoBroker(TBrokerOptions options = {});
  // Stops a running broker and removes the temporary folder.
  ~TMosquittoBroker();
  TMosquittoBroker(const TMosquittoBroker&) = delete;
  TMosquittoBroker& operator=(const TMosquittoBroker&) = delete;

  // Start and wait (up to 10 s) until the listeners accept connections. The first start picks
  // the ports; later starts reuse them. Raises ETestSupportError with the broker's log.
  void Start();
  // Send `signal` (SIGTERM: a clean stop; SIGKILL: a crash) and wait until it has exited.
  void Stop(int signal = SIGTERM);
  // Stop and start again on the same ports (retained messages and sessions are not kept).
  void Restart();
  // Choose the ports now without starting, so clients can be aimed at a broker that starts
  // late (Start then uses them).
  void ChoosePorts();
  // SIGSTOP: the broker stops working while its kernel still accepts connections and takes
  // bytes (a frozen broker host); Resume (SIGCONT) lets it go on.
  void Suspend();
  void Resume();
  bool IsRunning() const;

  std::string Host() const { return "127.0.0.1"; }
  std::uint16_t Port() const noexcept { return FPort; }
  // 0 without a TLS listener.
  std::uint16_t TlsPort() const noexcept { return FTlsPort; }
  pid_t Pid() const;
  const std::string& ConfigFile() const noexcept { return FConfigFile; }
  // Everything the broker printed since it was first started.
  std::string Log() const;

 private:
  enum class TStartResult { srRunning, srPortTaken, srFailed };
  void WriteConfig();
  TStartResult TryStart();

  const TBrokerOptions FOptions;
  TTempDir FDir;
  std::string FConfigFile;
  std::uint16_t FPort = 0;
  std::uint16_t FTlsPort = 0;
  // Declared first, so the process (killed by its destructor) goes before the watcher joins.
  TOutputWatcher FOutput;
  std::unique_ptr<TChildProcess> FProcess;

  mutable std::mutex FLock;  // guards FPid
  pid_t FPid = -1;
};

}  // namespace kestova::test
