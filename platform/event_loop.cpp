#include "platform/event_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <cstring>

namespace kestova {
namespace {

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void TEventLoop::BlockTerminationSignals() {
  const sigset_t set = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

UniqueFd TEventLoop::OpenTerminationSignalFd() {
  const sigset_t set = TerminationSignals();
  return UniqueFd(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

TEventLoop::TEventLoop(TMainThread& main) : FMain(main), FSignalFd(OpenTerminationSignalFd()) {
  if (!FSignalFd) throw Exception(Format("Cannot create the signal descriptor: %s", std::strerror(errno)));
}

void TEventLoop::Quit(int exitCode) {
  FExitCode = exitCode;
  FQuit = true;
  FMain.Queue([] {});  // wake the loop
}

TEventLoop::TimerId TEventLoop::CallAfter(std::chrono::milliseconds delay, std::function<void()> callback) {
  const TimerId id = FNextTimerId++;
  FTimers.emplace(Clock::now() + delay, Timer{id, std::move(callback)});
  return id;
}

void TEventLoop::CancelTimer(TimerId id) {
  for (auto it = FTimers.begin(); it != FTimers.end(); ++it) {
    if (it->second.id == id) {
      FTimers.erase(it);
      return;
    }
  }
}

TDeadline TEventLoop::NextTimer() const {
  return FTimers.empty() ? TDeadline::Never() : TDeadline::At(FTimers.begin()->first);
}

void TEventLoop::RunDueTimers() {
  const auto now = Clock::now();
  while (!FTimers.empty() && FTimers.begin()->first <= now) {
    auto callback = std::move(FTimers.begin()->second.callback);
    FTimers.erase(FTimers.begin());
    callback();
  }
}

void TEventLoop::ReadSignals() {
  signalfd_siginfo info;
  while (read(FSignalFd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    const int signo = static_cast<int>(info.ssi_signo);
    if (FSignalHandler)
      FSignalHandler(signo);
    else
      Quit(128 + signo);
  }
}

int TEventLoop::Run() {
  FQuit = false;
  while (!FQuit) {
    pollfd fds[2] = {{FMain.WakeFd(), POLLIN, 0}, {FSignalFd.Get(), POLLIN, 0}};
    const int rc = poll(fds, 2, NextTimer().PollTimeout());
    if (rc < 0 && errno != EINTR) throw Exception(Format("Event loop failed: %s", std::strerror(errno)));
    if (fds[1].revents & POLLIN) ReadSignals();
    FMain.Drain();
    RunDueTimers();
  }
  return FExitCode;
}

}  // namespace kestova
