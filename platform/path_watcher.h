#pragma once
// Waits, on a thread of its own, for a path to lead to a file: a device node that a replugged
// adapter brings back, or the last link of a chain such as /dev/serial/by-id/usb-... ->
// ../../ttyUSB0. Every folder on the way (the folders of the links' targets too) is watched
// with inotify, so the path is noticed as soon as its last piece appears, however many
// folders and links have to appear before it; nothing is polled.
//
// Watch(path, skip) arms it: it reports once the path leads to a file other than `skip` (the
// device that went away may still be there for a moment), and again after each change along
// the path while the path leads to a file, so a device that could not be opened at once (its
// permissions not set yet) is reported again when they are. Reports carry the number Watch
// returned, so a report that crossed a newer Watch or a Cancel can be told apart.
//
// Thread safety: Watch and Cancel from any thread; the callback runs on the watcher's thread,
// without a lock held, and must not wait for the thread that calls Watch, Cancel or the
// destructor (hand the report over with TMainThread::Queue).
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/unique_fd.h"
#include "platform/wake_event.h"

namespace kestova {

// Which file a path or descriptor leads to. The change time is part of it: a device node that is
// made again can get the same inode number (a pty's is its index), but not the same change time.
struct TFileId {
  dev_t Device = 0;
  ino_t Inode = 0;
  int64_t ChangedSec = 0;
  int64_t ChangedNsec = 0;
  bool operator==(const TFileId&) const = default;
};
std::optional<TFileId> FileIdOfPath(const std::string& path);
std::optional<TFileId> FileIdOfFd(int fd);

class TPathWatcher {
 public:
  using TAppeared = std::function<void(uint64_t watch)>;

  // Raises Exception when the kernel gives no inotify instance.
  explicit TPathWatcher(TAppeared appeared);
  ~TPathWatcher();
  TPathWatcher(const TPathWatcher&) = delete;
  TPathWatcher& operator=(const TPathWatcher&) = delete;

  // Watches `path` (absolute) from now on instead of what was watched before.
  uint64_t Watch(const std::string& path, std::optional<TFileId> skip);
  void Cancel();

 private:
  struct TRequest {
    uint64_t Number = 0;
    std::string Path;  // empty: nothing to watch
    std::optional<TFileId> Skip;
  };
  void Run();
  bool StillCurrent(uint64_t watch);

  const TAppeared FAppeared;
  UniqueFd FInotify;
  TWakeEvent FWake;
  std::mutex FLock;
  TRequest FRequest;   // guarded by FLock
  bool FStop = false;  // guarded by FLock
  std::thread FThread;
};

}  // namespace kestova
