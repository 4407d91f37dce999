#include "tests/support/output_watcher.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestova::test {

TOutputWatcher::~TOutputWatcher() { Join(); }

void TOutputWatcher::Watch(UniqueFd fd) {
  Join();
  {
    std::lock_guard lock(FLock);
    FEnded = false;
  }
  FThread = std::thread([this, raw = fd.Release()] { Drain(UniqueFd(raw)); });
}

void TOutputWatcher::Join() {
  if (FThread.joinable()) FThread.join();
}

void TOutputWatcher::Drain(UniqueFd fd) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    {
      std::lock_guard lock(FLock);
      FText.append(buffer, static_cast<std::size_t>(n));
      if (FText.size() > FLimit) {
        FDropped += FText.size() - FLimit;
        FText.erase(0, FText.size() - FLimit);
      }
    }
    FChanged.notify_all();
  }
  {
    std::lock_guard lock(FLock);
    FEnded = true;
  }
  FChanged.notify_all();
}

std::size_t TOutputWatcher::Position() const {
  std::lock_guard lock(FLock);
  return FDropped + FText.size();
}

bool TOutputWatcher::ContainsLocked(const std::string& text, std::size_t position) const {
  const std::size_t from = position > FDropped ? position - FDropped : 0;
  return from <= FText.size() && FText.find(text, from) != std::string::npos;
}

bool TOutputWatcher::Contains(const std::string& text, std::size_t position) const {
  std::lock_guard lock(FLock);
  return ContainsLocked(text, position);
}

bool TOutputWatcher::WaitFor(const std::string& text, std::size_t position, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FLock);
  FChanged.wait_for(lock, timeout, [&] { return FEnded || ContainsLocked(text, position); });
  return ContainsLocked(text, position);
}

bool TOutputWatcher::Ended() const {
  std::lock_guard lock(FLock);
  return FEnded;
}

std::string TOutputWatcher::Text() const {
  std::lock_guard lock(FLock);
  return FText;
}

}  // namespace kestova::test
