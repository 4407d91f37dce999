// The watcher on a temporary folder: paths that appear at the end of folders and links that
// appear first, the device that went away not counting, and a cancelled watch staying quiet.
#include "platform/path_watcher.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace kestova::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Collects the reports; a wait ends at the first report of `watch` (a bound only for failing).
class Reports {
 public:
  TPathWatcher::TAppeared Callback() {
    return [this](uint64_t watch) {
      {
        std::lock_guard lock(FLock);
        FSeen.push_back(watch);
      }
      FChanged.notify_all();
    };
  }
  bool WaitFor(uint64_t watch) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, 10s, [&] { return CountLocked(watch) > 0; });
  }
  int Count(uint64_t watch) {
    std::lock_guard lock(FLock);
    return CountLocked(watch);
  }
  int Total() {
    std::lock_guard lock(FLock);
    return static_cast<int>(FSeen.size());
  }

 private:
  int CountLocked(uint64_t watch) const {
    int n = 0;
    for (const uint64_t w : FSeen) n += w == watch;
    return n;
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<uint64_t> FSeen;
};

void Touch(const std::string& path) { std::ofstream(path) << "device"; }

class PathWatcherTest : public ::testing::Test {
 protected:
  TTempDir FDir{"kestova-watch"};
  Reports FReports;
  TPathWatcher FWatcher{FReports.Callback()};
};

TEST_F(PathWatcherTest, AnExistingPathIsReportedAtOnce) {
  Touch(FDir.File("tty"));
  EXPECT_TRUE(FReports.WaitFor(FWatcher.Watch(FDir.File("tty"), std::nullopt)));
}

TEST_F(PathWatcherTest, APathIsReportedWhenItsLastPieceAppears) {
  // serial/by-id/port -> ../../devices/tty, where none of it exists yet, as after a replug.
  const std::string path = FDir.File("serial/by-id/port");
  const uint64_t watch = FWatcher.Watch(path, std::nullopt);
  fs::create_directories(FDir.File("serial/by-id"));
  fs::create_symlink("../../devices/tty", path);
  fs::create_directory(FDir.File("devices"));
  EXPECT_EQ(FReports.Total(), 0) << "a link to nothing is no device";
  Touch(FDir.File("devices/tty"));
  EXPECT_TRUE(FReports.WaitFor(watch));
}

TEST_F(PathWatcherTest, TheDeviceThatWentAwayDoesNotCountButItsReplacementDoes) {
  const std::string path = FDir.File("tty");
  Touch(path);
  const uint64_t watch = FWatcher.Watch(path, FileIdOfPath(path));
  // A replacement of the same name is another file.
  Touch(FDir.File("new"));
  fs::rename(FDir.File("new"), path);
  ASSERT_TRUE(FReports.WaitFor(watch));
  EXPECT_EQ(FReports.Count(watch), 1);
}

// A pty opened after the one before it closed takes the freed number, and with it the inode;
// only its change time tells it apart. Like a real replug, it comes at least one tick of the
// clock that stamps new nodes later.
TEST_F(PathWatcherTest, APtyMadeAgainIsAnotherDeviceThoughItsNumberIsReused) {
  auto openPty = [](UniqueFd& master, UniqueFd& slave) {
    int m = -1, s = -1;
    char name[64] = {};
    EXPECT_EQ(openpty(&m, &s, name, nullptr, nullptr), 0);
    master.Reset(m);
    slave.Reset(s);
    return std::string(name);
  };
  UniqueFd master, slave;
  const std::string link = FDir.File("display");
  fs::create_symlink(openPty(master, slave), link);
  const std::optional<TFileId> gone = FileIdOfPath(link);
  slave.Reset();
  master.Reset();
  fs::remove(link);
  timespec tick{};
  clock_getres(CLOCK_REALTIME_COARSE, &tick);
  std::this_thread::sleep_for(2 * (std::chrono::seconds(tick.tv_sec) + std::chrono::nanoseconds(tick.tv_nsec)));
  fs::create_symlink(openPty(master, slave), link);
  EXPECT_TRUE(FReports.WaitFor(FWatcher.Watch(link, gone)));
}

TEST_F(PathWatcherTest, ACancelledOrReplacedWatchReportsNothing) {
  const uint64_t cancelled = FWatcher.Watch(FDir.File("a"), std::nullopt);
  FWatcher.Cancel();
  Touch(FDir.File("a"));
  const uint64_t replaced = FWatcher.Watch(FDir.File("b"), std::nullopt);
  const uint64_t current = FWatcher.Watch(FDir.File("c"), std::nullopt);
  Touch(FDir.File("b"));
  Touch(FDir.File("c"));
  ASSERT_TRUE(FReports.WaitFor(current));
  EXPECT_EQ(FReports.Count(cancelled), 0);
  EXPECT_EQ(FReports.Count(replaced), 0);
}

}  // namespace
}  // namespace kestova::test
