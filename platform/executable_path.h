#pragma once
#include <string>

namespace kestova {

// Full path of the running executable, found through /proc/self/exe so that links and other
// working directories do not matter. Raises Exception when the kernel does not tell.
std::string ExecutablePath();

// Folder of the running executable with its trailing '/'.
std::string ExecutableFolder();

}  // namespace kestova
