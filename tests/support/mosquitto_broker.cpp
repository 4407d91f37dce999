#include "tests/support/mosquitto_broker.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>

#include "tests/support/loopback_peer.h"
#include "tests/support/support_error.h"

namespace kestova::test {

namespace {

constexpr const char* PasswordTool = "/usr/bin/mosquitto_passwd";
// Printed once every listener is open.
constexpr const char* RunningMark = " running";
constexpr int PortAttempts = 5;

}  // namespace

TMosquittoBroker::TMosquittoBroker(TBrokerOptions options)
    : FOptions(std::move(options)), FDir("kestova-mosquitto"), FConfigFile(FDir.File("mosquitto.conf")) {}

TMosquittoBroker::~TMosquittoBroker() {
  try {
    Stop(SIGTERM);
  } catch (...) {
    // The child process object still kills and reaps it.
  }
}

void TMosquittoBroker::WriteConfig() {
  std::ostringstream config;
  config << "persistence false\n"
         << "log_dest stderr\n"
         << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
         << "allow_anonymous " << (FOptions.AllowAnonymous ? "true" : "false") << "\n";
  // Run as root, mosquitto would switch to its own user, which cannot read our folder.
  if (::geteuid() == 0) config << "user root\n";
  if (!FOptions.Users.empty()) {
    const std::string passwords = FDir.File("passwords");
    bool first = true;
    for (const auto& user : FOptions.Users) {
      std::vector<std::string> argv{PasswordTool, "-b"};
      if (first) argv.push_back("-c");
      argv.insert(argv.end(), {passwords, user.User, user.Password});
      RunProgramOrThrow(argv);
      first = false;
    }
    config << "password_file " << passwords << "\n";
  }
  if (FOptions.MaxQueuedMessages >= 0) config << "max_queued_messages " << FOptions.MaxQueuedMessages << "\n";
  if (!FOptions.ExtraConfig.empty()) config << FOptions.ExtraConfig << "\n";
  config << "listener " << FPort << " 127.0.0.1\n";
  if (FOptions.Tls) {
    config << "listener " << FTlsPort << " 127.0.0.1\n"
           << "certfile " << FOptions.Tls->CertFile << "\n"
           << "keyfile " << FOptions.Tls->KeyFile << "\n";
    if (!FOptions.Tls->CAFile.empty()) config << "cafile " << FOptions.Tls->CAFile << "\n";
  }
  FDir.WriteFile("mosquitto.conf", config.str());
}

void TMosquittoBroker::ChoosePorts() {
  FPort = FreeLoopbackPort();
  if (FOptions.Tls) {
    do FTlsPort = FreeLoopbackPort();
    while (FTlsPort == FPort);
  }
}

void TMosquittoBroker::Suspend() {
  if (!IsRunning() || ::kill(Pid(), SIGSTOP) != 0) throw ETestSupportError("cannot suspend mosquitto");
}

void TMosquittoBroker::Resume() {
  if (!IsRunning() || ::kill(Pid(), SIGCONT) != 0) throw ETestSupportError("cannot resume mosquitto");
}

void TMosquittoBroker::Start() {
  if (IsRunning()) return;
  const bool choosePorts = FPort == 0;
  for (int attempt = 1;; ++attempt) {
    if (choosePorts) ChoosePorts();
    WriteConfig();
    const TStartResult result = TryStart();
    if (result == TStartResult::srRunning) return;
    // Another process may have taken a port between our check and the broker's bind.
    if (result == TStartResult::srPortTaken && choosePorts && attempt < PortAttempts) continue;
    throw ETestSupportError(Format("mosquitto did not start on port %u: %s", FPort, Log()));
  }
}

TMosquittoBroker::TStartResult TMosquittoBroker::TryStart() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw ETestSupportError(Format("pipe2 failed: %s", std::strerror(errno)));
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  // This run's output, until it says it is running (the log holds earlier runs as well).
  const std::size_t logStart = FOutput.Position();
  FProcess = std::make_unique<TChildProcess>(std::vector<std::string>{Program, "-c", FConfigFile}, writeEnd.Get());
  writeEnd.Reset();
  {
    std::lock_guard lock(FLock);
    FPid = FProcess->Pid();
  }
  FOutput.Watch(std::move(readEnd));
  if (FOutput.WaitFor(RunningMark, logStart, std::chrono::seconds(10))) return TStartResult::srRunning;
  const bool portTaken = FOutput.Contains("Address already in use", logStart);
  Stop(SIGKILL);
  return portTaken ? TStartResult::srPortTaken : TStartResult::srFailed;
}

void TMosquittoBroker::Stop(int signal) {
  if (FProcess) {
    // A suspended broker would not act on a signal it can catch before its grace ran out (a
    // kill needs no waking, and must not let it take one more step).
    if (signal != SIGKILL && FProcess->Running()) ::kill(FProcess->Pid(), SIGCONT);
    FProcess->Stop(signal);
    FProcess.reset();
  }
  // The broker's exit closed the pipe, so the reader has reached its end.
  FOutput.Join();
  std::lock_guard lock(FLock);
  FPid = -1;
}

void TMosquittoBroker::Restart() {
  Stop(SIGTERM);
  Start();
}

bool TMosquittoBroker::IsRunning() const {
  // The output pipe ends exactly when the broker exits.
  return FProcess && !FOutput.Ended();
}

pid_t TMosquittoBroker::Pid() const {
  std::lock_guard lock(FLock);
  return FPid;
}

std::string TMosquittoBroker::Log() const { return FOutput.Text(); }

}  // namespace kestova::test
