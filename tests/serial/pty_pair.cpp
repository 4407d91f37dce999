#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/main_thread.h"
#include "tests/support/thread_names.h"

namespace kestova::test {

TPtyPair::TPtyPair() {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  FMaster.Reset(master);
  FSlave.Reset(slave);
  FSlavePath = name;
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
}

void TPtyPair::WriteMaster(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(FMaster.Get(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) throw std::runtime_error(std::strerror(errno));
    pollfd p{FMaster.Get(), POLLOUT, 0};
    poll(&p, 1, 100);
  }
}

std::string TPtyPair::ReadMaster(std::size_t count, std::chrono::milliseconds timeout) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count) {
    MainThread().Drain();
    char buf[4096];
    const ssize_t n = read(FMaster.Get(), buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p[2] = {{FMaster.Get(), POLLIN, 0}, {MainThread().WakeFd(), POLLIN, 0}};
    poll(p, 2, static_cast<int>(std::min<long>(left.count(), 50)));
  }
  return out;
}

int SerialThreadCount() { return CountThreadsNamed("serial-"); }

}  // namespace kestova::test
