#pragma once
// A loopback listener whose accept queue is full: the kernel drops further connection requests,
// so a connect to it hangs until its deadline, all on loopback.
#include <cstdint>
#include <vector>

#include "platform/unique_fd.h"

namespace kestova::test {

class TFullBacklog {
 public:
  // ETestSupportError when the listener cannot be set up.
  TFullBacklog();
  std::uint16_t Port() const noexcept { return FPort; }

 private:
  UniqueFd FListener;
  std::vector<UniqueFd> FFillers;
  std::uint16_t FPort = 0;
};

}  // namespace kestova::test
