#pragma once
// The one exception base of the system: every error carries its message text.
#include <exception>
#include <string>
#include <utility>

#include "platform/format.h"

namespace kestova {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}

  // Build the message from a printf-style template, e.g. "List index out of bounds (%d)".
  template <typename... Args>
  static Exception CreateFmt(const char* templ, const Args&... args) {
    return Exception(Format(templ, args...));
  }

  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Text that is not valid UTF-8, or a character the target code page cannot hold.
class EEncodingError : public Exception {
 public:
  using Exception::Exception;
};

// A list or string index outside its range.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace kestova
