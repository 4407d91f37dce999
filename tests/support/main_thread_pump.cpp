#include "tests/support/main_thread_pump.h"

#include <poll.h>

#include <algorithm>

#include "platform/main_thread.h"

namespace kestova::test {

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout, TWakeEvent* alsoWakeOn) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MainThread().Drain();
    if (done()) return true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return done();
    pollfd fds[2] = {{MainThread().WakeFd(), POLLIN, 0}, {alsoWakeOn ? alsoWakeOn->Fd() : -1, POLLIN, 0}};
    poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 20)));
    if (alsoWakeOn) alsoWakeOn->Consume();
  }
}

}  // namespace kestova::test
