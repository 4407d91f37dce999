#include "tests/support/mosquitto_broker.h"

#include <fcntl.h>
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
constexpr std::size_t LogLimit = 1 << 20;

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

void TMosquittoBroker::Start() {
  if (IsRunning()) return;
  const bool choosePorts = FPort == 0;
  for (int attempt = 1;; ++attempt) {
    if (choosePorts) {
      FPort = FreeLoopbackPort();
      if (FOptions.Tls) {
        do FTlsPort = FreeLoopbackPort();
        while (FTlsPort == FPort);
      }
    }
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
  std::size_t logStart = 0;
  {
    std::lock_guard lock(FLock);
    FReady = false;
    FEnded = false;
    logStart = FLog.size();
  }
  FProcess = std::make_unique<TChildProcess>(std::vector<std::string>{Program, "-c", FConfigFile}, writeEnd.Get());
  writeEnd.Reset();
  {
    std::lock_guard lock(FLock);
    FPid = FProcess->Pid();
  }
  FLogReader = std::thread([this, fd = readEnd.Release()] { Drain(fd); });

  std::unique_lock lock(FLock);
  FChanged.wait_for(lock, std::chrono::seconds(10), [this] { return FReady || FEnded; });
  const bool ready = FReady;
  const bool portTaken = FLog.find("Address already in use", std::min(logStart, FLog.size())) != std::string::npos;
  lock.unlock();
  if (ready) return TStartResult::srRunning;
  Stop(SIGKILL);
  return portTaken ? TStartResult::srPortTaken : TStartResult::srFailed;
}

void TMosquittoBroker::Drain(int rawFd) {
  const UniqueFd fd(rawFd);
  // This run's output until it says it is running (the log holds earlier runs as well).
  std::string startup;
  bool ready = false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (!ready) {
      startup.append(buffer, static_cast<std::size_t>(n));
      ready = startup.find(RunningMark) != std::string::npos;
    }
    std::lock_guard lock(FLock);
    FLog.append(buffer, static_cast<std::size_t>(n));
    if (FLog.size() > LogLimit) FLog.erase(0, FLog.size() - LogLimit);
    if (ready && !FReady) {
      FReady = true;
      FChanged.notify_all();
    }
  }
  std::lock_guard lock(FLock);
  FEnded = true;
  FChanged.notify_all();
}

void TMosquittoBroker::Stop(int signal) {
  if (FProcess) {
    FProcess->Stop(signal);
    FProcess.reset();
  }
  // The broker's exit closed the pipe, so the reader has reached its end.
  if (FLogReader.joinable()) FLogReader.join();
  std::lock_guard lock(FLock);
  FPid = -1;
  FReady = false;
}

void TMosquittoBroker::Restart() {
  Stop(SIGTERM);
  Start();
}

bool TMosquittoBroker::IsRunning() const {
  if (!FProcess) return false;
  // The output pipe ends exactly when the broker exits.
  std::lock_guard lock(FLock);
  return !FEnded;
}

pid_t TMosquittoBroker::Pid() const {
  std::lock_guard lock(FLock);
  return FPid;
}

std::string TMosquittoBroker::Log() const {
  std::lock_guard lock(FLock);
  return FLog;
}

}  // namespace kestova::test
