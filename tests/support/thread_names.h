#pragma once
// The threads of this process by name, for tests that show a component leaves none running.
#include <string_view>

namespace kestova::test {

// How many threads of this process have a name that starts with `prefix`.
int CountThreadsNamed(std::string_view prefix);

}  // namespace kestova::test
