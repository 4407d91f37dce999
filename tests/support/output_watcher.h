#pragma once
// What a child process prints, collected on a thread of its own from the reading end of its
// output pipe, so a test can wait (without polling) until a line such as "running" appears.
// One watcher can follow several runs of a program one after the other (Watch, then Join when
// that run has exited); the text of all of them is kept, the oldest dropped beyond a limit.
//
// Thread safety: Watch and Join from the owner's thread; everything else from any thread.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace kestova::test {

class TOutputWatcher {
 public:
  explicit TOutputWatcher(std::size_t limit = 1 << 20) : FLimit(limit) {}
  // Joins a run still being read (its writer must have exited or be about to).
  ~TOutputWatcher();
  TOutputWatcher(const TOutputWatcher&) = delete;
  TOutputWatcher& operator=(const TOutputWatcher&) = delete;

  // Read fd until its end on the watcher's thread (the previous run must have been joined).
  void Watch(UniqueFd fd);
  // Wait until the run being read has ended (its writers have closed the pipe).
  void Join();

  // Bytes printed so far, counting those dropped: a mark for WaitFor.
  std::size_t Position() const;
  // Wait until text appears after position, or the run's output ends, or timeout passes;
  // true when the text appeared.
  bool WaitFor(const std::string& text, std::size_t position, std::chrono::milliseconds timeout) const;
  // Whether text appears after position now.
  bool Contains(const std::string& text, std::size_t position) const;
  bool Ended() const;
  std::string Text() const;

 private:
  void Drain(UniqueFd fd);
  bool ContainsLocked(const std::string& text, std::size_t position) const;

  const std::size_t FLimit;
  mutable std::mutex FLock;  // guards the fields below
  mutable std::condition_variable FChanged;
  std::string FText;
  std::size_t FDropped = 0;
  bool FEnded = true;
  std::thread FThread;
};

}  // namespace kestova::test
