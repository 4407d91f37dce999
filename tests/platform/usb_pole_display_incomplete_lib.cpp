// A USB pole-display library that lacks CloseUSBpd: the loader must refuse it as a whole. Its two
// functions log like the emulator, so a test can see that nothing of it is ever called.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
void Note(const char* text) {
  const char* path = std::getenv("KESTOVA_USBPD_LOG");
  if (path == nullptr) return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s (incomplete)\n", text);
    std::fclose(file);
  }
}
}  // namespace

extern "C" {
__attribute__((visibility("default"))) int32_t OpenUSBpd(void) {
  Note("OPEN");
  return 0;
}
__attribute__((visibility("default"))) int32_t WritePD(const char*, int32_t length) {
  Note("WRITE");
  return length;
}
}
