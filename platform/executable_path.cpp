#include "platform/executable_path.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/exception.h"

namespace kestova {

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n < 0 || static_cast<std::size_t>(n) >= buf.size())
    throw Exception(Format("Cannot find the executable's folder: %s", std::strerror(errno)));
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace kestova
