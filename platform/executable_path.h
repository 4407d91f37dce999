#pragma once
#include <string>

namespace kestova {

// Folder of the running executable with its trailing '/', found through /proc/self/exe so
// that links and other working directories do not matter.
std::string ExecutableFolder();

}  // namespace kestova
