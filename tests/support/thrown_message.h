#pragma once
// The message of what an action raised, so that a test checks an exception's text in one
// expectation rather than a try / FAIL / catch / EXPECT around every call:
//
//   EXPECT_EQ(ThrownMessage<EListError>([&] { list.Strings(5); }), "List index out of bounds (5)");
//
// Header only and without GoogleTest, like the rest of tests/support.
#include <string>

namespace kestova::test {

// The message (what()) of the exception of type E that `action` raises, or "no error" when it
// returns normally. An exception of any other type passes through and fails the calling test.
template <typename E, typename Action>
std::string ThrownMessage(Action&& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace kestova::test
