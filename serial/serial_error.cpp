#include "serial/serial_error.h"

#include <cstring>

#include "platform/ascii_text.h"

namespace kestova {

std::string SerialSysErrorText(int code) {
  char buf[256];
  // The GNU strerror_r returns a pointer that may or may not be buf.
  std::string text = strerror_r(code, buf, sizeof buf);
  while (!text.empty() && (IsBlankChar(text.back()) || text.back() == '.')) text.pop_back();
  return text;
}

void RaiseEventError(int code) {
  throw ESerialCommError(Format("Cannot create an event (%d), %s", code, SerialSysErrorText(code)));
}

}  // namespace kestova
