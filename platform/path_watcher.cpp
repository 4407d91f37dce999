#include "platform/path_watcher.h"

#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <compare>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/format.h"

namespace kestova {

namespace {

// Links followed before a path counts as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// One name in one folder that the path depends on.
struct TStep {
  std::string Folder;
  std::string Name;
  auto operator<=>(const TStep&) const = default;
};

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = path.find('/', at);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > at) parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string Parent(const std::string& folder) {
  const std::size_t slash = folder.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
}

// The names the path depends on, from the root down to the first one missing (or to the
// file), following links: a link's own name and every name of its target count.
std::set<TStep> StepsOf(const std::string& path) {
  const std::string root(1, '/');
  std::set<TStep> steps;
  const std::vector<std::string> names = Components(path);
  std::deque<std::string> todo(names.begin(), names.end());
  std::string folder = root;  // a path without links in it, so ".." is its lexical parent
  int links = 0;
  while (!todo.empty()) {
    const std::string name = std::move(todo.front());
    todo.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      folder = Parent(folder);
      continue;
    }
    steps.insert({folder, name});
    const std::string next = Join(folder, name);
    struct stat st {};
    if (lstat(next.c_str(), &st) != 0) break;
    if (!S_ISLNK(st.st_mode)) {
      folder = next;
      continue;
    }
    if (++links > kMaxLinks) break;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(next.c_str(), target.data(), target.size());
    if (n <= 0) break;
    target.resize(static_cast<std::size_t>(n));
    // Go on along the target, from the link's folder or from the root.
    const std::vector<std::string> hops = Components(target);
    todo.insert(todo.begin(), hops.begin(), hops.end());
    if (target.front() == '/') folder = root;
  }
  return steps;
}

// The inotify watches of one set of steps: a watch per folder, and the names that matter in it.
class TWatchSet {
 public:
  explicit TWatchSet(int inotify) : FInotify(inotify) {}

  // Watches the folders of `path`, looking again until what it sees no longer changes under
  // the new watches, so nothing that appears meanwhile goes unnoticed.
  void Follow(const std::string& path) {
    std::set<TStep> steps = StepsOf(path);
    for (int round = 0; round < 8; ++round) {
      Install(steps);
      std::set<TStep> again = StepsOf(path);
      if (again == steps) break;
      steps = std::move(again);
    }
  }

  void Clear() { Install({}); }

  // Whether an event concerns the path: a name it depends on, or one of its folders going away.
  bool Concerns(const inotify_event& e) const {
    if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_Q_OVERFLOW)) return true;
    const auto it = FNames.find(e.wd);
    return it != FNames.end() && e.len > 0 && it->second.count(e.name) > 0;
  }

 private:
  void Install(const std::set<TStep>& steps) {
    std::map<int, std::set<std::string>> names;
    for (const TStep& step : steps) {
      // A folder that cannot be watched (gone meanwhile) is found missing by the next look.
      const int wd = inotify_add_watch(FInotify, step.Folder.c_str(), kFolderEvents);
      if (wd >= 0) names[wd].insert(step.Name);
    }
    for (const auto& [wd, unused] : FNames)
      if (names.count(wd) == 0) inotify_rm_watch(FInotify, wd);
    FNames = std::move(names);
  }

  int FInotify;
  std::map<int, std::set<std::string>> FNames;
};

}  // namespace

namespace {
TFileId IdOf(const struct stat& st) {
  return TFileId{st.st_dev, st.st_ino, static_cast<int64_t>(st.st_ctim.tv_sec),
                 static_cast<int64_t>(st.st_ctim.tv_nsec)};
}
}  // namespace

std::optional<TFileId> FileIdOfPath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdOf(st);
}

std::optional<TFileId> FileIdOfFd(int fd) {
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return std::nullopt;
  return IdOf(st);
}

TPathWatcher::TPathWatcher(TAppeared appeared)
    : FAppeared(std::move(appeared)), FInotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (!FInotify) throw Exception(Format("Cannot watch for devices: %s", std::strerror(errno)));
}

TPathWatcher::~TPathWatcher() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.Signal();
  if (FThread.joinable()) FThread.join();
}

uint64_t TPathWatcher::Watch(const std::string& path, std::optional<TFileId> skip) {
  uint64_t number = 0;
  {
    std::lock_guard lock(FLock);
    number = ++FRequest.Number;
    FRequest.Path = path;
    FRequest.Skip = skip;
    // Started with the first watch: a port that never loses its device needs no thread.
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
  }
  FWake.Signal();
  return number;
}

void TPathWatcher::Cancel() {
  {
    std::lock_guard lock(FLock);
    ++FRequest.Number;
    FRequest.Path.clear();
  }
  FWake.Signal();
}

bool TPathWatcher::StillCurrent(uint64_t watch) {
  // What appeared after a newer Watch or a Cancel belongs to that one.
  std::lock_guard lock(FLock);
  return FRequest.Number == watch && !FStop;
}

void TPathWatcher::Run() {
  pthread_setname_np(pthread_self(), "path-watch");
  TWatchSet watches(FInotify.Get());
  uint64_t current = 0;
  std::string path;
  std::optional<TFileId> last;  // what was reported last (or skipped)
  bool changed = false;         // something along the path changed since then
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    {
      std::lock_guard lock(FLock);
      if (FStop) break;
      if (FRequest.Number != current) {
        current = FRequest.Number;
        path = FRequest.Path;
        last = FRequest.Skip;
        changed = false;
      }
    }
    if (path.empty()) {
      watches.Clear();
    } else {
      watches.Follow(path);
      const std::optional<TFileId> now = FileIdOfPath(path);
      if (now && (now != last || changed) && StillCurrent(current)) {
        last = now;
        changed = false;
        FAppeared(current);
      }
    }
    pollfd fds[2] = {{FWake.Fd(), POLLIN, 0}, {FInotify.Get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[0].revents) FWake.Consume();
    if (fds[1].revents) {
      for (;;) {
        const ssize_t n = read(FInotify.Get(), buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
          if (watches.Concerns(*event)) changed = true;
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
      }
    }
  }
  watches.Clear();
}

}  // namespace kestova
