#include "platform/usb_pole_display.h"

#include <dlfcn.h>

#include <limits>
#include <utility>

#include "platform/executable_path.h"
#include "platform/format.h"

namespace kestova {

namespace {

// The loader's own text for its last failure, or `fallback` when it has none.
std::string LoaderReason(const std::string& fallback) {
  const char* reason = ::dlerror();
  return reason != nullptr ? std::string(reason) : fallback;
}

}  // namespace

std::string UsbPoleDisplayLibraryPath() { return ExecutableFolder() + kUsbPoleDisplayLibraryName; }

TDlHandle::TDlHandle(TDlHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}

TDlHandle& TDlHandle::operator=(TDlHandle&& other) noexcept {
  if (this != &other) Reset(std::exchange(other.FHandle, nullptr));
  return *this;
}

void TDlHandle::Reset(void* handle) noexcept {
  if (FHandle != nullptr) ::dlclose(FHandle);
  FHandle = handle;
}

std::string TDlHandle::Close() {
  if (FHandle == nullptr) return {};
  ::dlerror();
  if (::dlclose(std::exchange(FHandle, nullptr)) == 0) return {};
  return LoaderReason("the library could not be closed");
}

bool TUsbPoleDisplay::Load(const std::string& path) {
  Unload();
  FLastError.clear();
  // dlopen of an empty name would hand back the program itself.
  if (path.empty()) {
    FLastError = "No library file name given";
    return false;
  }
  ::dlerror();  // forget any earlier failure so the reason below is this one
  // RTLD_NOW: a library with unresolved symbols fails here instead of in the middle of a write.
  TDlHandle library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    FLastError = LoaderReason(Format("%s: cannot load the library", path));
    return false;
  }
  // Looks up one entry point; on failure records why and returns null.
  auto bind = [&](const char* name) -> void* {
    ::dlerror();
    void* symbol = ::dlsym(library.Get(), name);
    if (symbol == nullptr) FLastError = LoaderReason(Format("%s: undefined symbol: %s", path, name));
    return symbol;
  };
  void* open = bind("OpenUSBpd");
  void* write = open != nullptr ? bind("WritePD") : nullptr;
  void* close = write != nullptr ? bind("CloseUSBpd") : nullptr;
  if (close == nullptr) return false;  // `library` is closed on the way out

  // POSIX guarantees that object pointers from dlsym convert to function pointers.
  FOpen = reinterpret_cast<TOpenUSBpd>(open);
  FWrite = reinterpret_cast<TWritePD>(write);
  FClose = reinterpret_cast<TCloseUSBpd>(close);
  FLibrary = std::move(library);
  return true;
}

void TUsbPoleDisplay::Unload() noexcept {
  FOpen = nullptr;
  FWrite = nullptr;
  FClose = nullptr;
  FLibrary.Reset();
}

int32_t TUsbPoleDisplay::OpenUSBpd() { return Loaded() ? FOpen() : kNotLoaded; }

int32_t TUsbPoleDisplay::WritePD(std::string_view bytes) {
  if (!Loaded() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return kNotLoaded;
  return FWrite(bytes.empty() ? nullptr : bytes.data(), static_cast<int32_t>(bytes.size()));
}

int32_t TUsbPoleDisplay::CloseUSBpd() { return Loaded() ? FClose() : kNotLoaded; }

}  // namespace kestova
