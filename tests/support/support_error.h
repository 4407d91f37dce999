#pragma once
// A test helper could not set up what a test needs (a broker, a certificate, a peer).
#include "platform/exception.h"

namespace kestova::test {

class ETestSupportError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace kestova::test
