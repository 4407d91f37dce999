#include "tests/support/thread_names.h"

#include <dirent.h>

#include <fstream>
#include <string>

namespace kestova::test {

int CountThreadsNamed(std::string_view prefix) {
  int count = 0;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind(prefix, 0) == 0) ++count;
  }
  closedir(dir);
  return count;
}

}  // namespace kestova::test
