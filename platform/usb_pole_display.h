#pragma once
// Run-time binding of the USB pole-display library, libusbpd.so. The library is optional: when it
// is missing or lacks an entry point, Load reports the loader's reason and every later call goes
// nowhere, so a server without the hardware runs on.
//
// The library exports three functions with C linkage:
//   int32_t OpenUSBpd(void);                           0 when the display was opened, else not
//   int32_t WritePD(const char* data, int32_t length); writes `length` bytes (escape commands and
//                                                      text) in call order; data may be null when
//                                                      length is 0; the result carries no meaning
//   int32_t CloseUSBpd(void);                          closes the display; result carries no meaning
//
// Threads: one object is used from one thread at a time (the server's main thread).
#include <cstdint>
#include <string>
#include <string_view>

namespace kestova {

// The library's file name; the server looks for it in its executable's folder.
inline constexpr const char* kUsbPoleDisplayLibraryName = "libusbpd.so";
// Where the server loads it from: its executable's folder.
std::string UsbPoleDisplayLibraryPath();

// The entry points as the library exports them.
extern "C" {
using TOpenUSBpd = int32_t (*)();
using TWritePD = int32_t (*)(const char* data, int32_t length);
using TCloseUSBpd = int32_t (*)();
}

// Move-only owner of a dlopen handle; the destructor closes it, Close() reports the error.
class TDlHandle {
 public:
  TDlHandle() noexcept = default;
  explicit TDlHandle(void* handle) noexcept : FHandle(handle) {}
  TDlHandle(TDlHandle&& other) noexcept;
  TDlHandle& operator=(TDlHandle&& other) noexcept;
  TDlHandle(const TDlHandle&) = delete;
  TDlHandle& operator=(const TDlHandle&) = delete;
  ~TDlHandle() { Reset(); }

  void* Get() const noexcept { return FHandle; }
  explicit operator bool() const noexcept { return FHandle != nullptr; }
  void Reset(void* handle = nullptr) noexcept;
  // Close now; empty on success, otherwise the loader's reason.
  std::string Close();

 private:
  void* FHandle = nullptr;
};

class TUsbPoleDisplay {
 public:
  // What the calls return while no library is bound.
  static constexpr int32_t kNotLoaded = -1;

  TUsbPoleDisplay() = default;
  TUsbPoleDisplay(TUsbPoleDisplay&&) noexcept = default;
  TUsbPoleDisplay& operator=(TUsbPoleDisplay&&) noexcept = default;

  // Binds the library at `path` (resolving all its symbols now) and its three entry points,
  // replacing any library bound before. On failure nothing stays bound, false is returned and
  // LastError() holds the loader's reason, e.g. "...: cannot open shared object file: No such
  // file or directory" or "...: undefined symbol: CloseUSBpd". An empty path is refused (the
  // loader would hand back the program itself).
  bool Load(const std::string& path);
  // Unbinds the library without calling it (closing the display is CloseUSBpd's job).
  void Unload() noexcept;
  bool Loaded() const noexcept { return static_cast<bool>(FLibrary); }
  // The reason the last Load failed; empty after a successful one.
  const std::string& LastError() const noexcept { return FLastError; }

  // The library's functions; without a bound library they do nothing and return kNotLoaded.
  int32_t OpenUSBpd();
  // Bytes beyond what a 32-bit count can say are not written (kNotLoaded is returned).
  int32_t WritePD(std::string_view bytes);
  int32_t CloseUSBpd();

 private:
  TDlHandle FLibrary;
  TOpenUSBpd FOpen = nullptr;
  TWritePD FWrite = nullptr;
  TCloseUSBpd FClose = nullptr;
  std::string FLastError;
};

}  // namespace kestova
