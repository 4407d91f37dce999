// A stand-in for the vendor's USB pole-display library, for development and tests without the
// hardware. It shows nothing; when KESTOVA_USBPD_LOG names a file it appends one line per call:
//   OPEN                      OpenUSBpd (returns 0, or the value of KESTOVA_USBPD_OPEN_RESULT)
//   CLOSE                     CloseUSBpd
//   1B 48 14                  WritePD: the bytes as upper-case hex, "-" for a zero-length write
// Each line is appended with one write on a file opened for appending, so a test can read the
// file at any time and several processes may share it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/hex_bytes.h"
#include "platform/unique_fd.h"
#include "platform/usb_pole_display.h"

namespace {

void AppendLine(std::string_view text) noexcept {
  try {
    const char* path = std::getenv("KESTOVA_USBPD_LOG");
    if (path == nullptr || *path == '\0') return;
    kestova::UniqueFd file(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!file) return;
    std::string line(text);
    line += '\n';
    std::string_view rest = line;
    while (!rest.empty()) {
      const ssize_t n = ::write(file.Get(), rest.data(), rest.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
  } catch (...) {
    // Out of memory: the line is lost; nothing may escape into the C caller.
  }
}

int32_t OpenResult() noexcept {
  const char* text = std::getenv("KESTOVA_USBPD_OPEN_RESULT");
  if (text == nullptr || *text == '\0') return 0;
  return static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t OpenUSBpd(void) {
  AppendLine("OPEN");
  return OpenResult();
}

__attribute__((visibility("default"))) int32_t WritePD(const char* data, int32_t length) {
  // A null pointer or a count below one writes nothing.
  if (data == nullptr || length <= 0) {
    AppendLine("-");
    return 0;
  }
  try {
    AppendLine(kestova::HexFromBytes({reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)}));
  } catch (...) {
  }
  return length;
}

__attribute__((visibility("default"))) int32_t CloseUSBpd(void) {
  AppendLine("CLOSE");
  return 0;
}

}  // extern "C"

// The loader calls through these types: keep the exports in step with them.
static_assert(std::is_same_v<decltype(&OpenUSBpd), kestova::TOpenUSBpd>);
static_assert(std::is_same_v<decltype(&WritePD), kestova::TWritePD>);
static_assert(std::is_same_v<decltype(&CloseUSBpd), kestova::TCloseUSBpd>);
