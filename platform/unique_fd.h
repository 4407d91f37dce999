#pragma once
// Move-only owner of a file descriptor; the destructor closes it, Close() reports the error.
#include <unistd.h>

#include <cerrno>

#include <utility>

namespace kestova {

class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : FFd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FFd, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const noexcept { return FFd; }
  bool Valid() const noexcept { return FFd >= 0; }
  explicit operator bool() const noexcept { return Valid(); }
  int Release() noexcept { return std::exchange(FFd, -1); }
  void Reset(int fd = -1) noexcept {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }
  // Close now; returns 0 or the errno of close().
  int Close() noexcept {
    if (FFd < 0) return 0;
    const int rc = ::close(std::exchange(FFd, -1));
    return rc == 0 ? 0 : errno;
  }

 private:
  int FFd = -1;
};

}  // namespace kestova
