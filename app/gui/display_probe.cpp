#include "app/gui/display_probe.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/format.h"

namespace kestova {

namespace {

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const noexcept { xcb_disconnect(connection); }
};

}  // namespace

bool DisplayAvailable(std::string& why) {
  // Qt tries the platforms of QT_QPA_PLATFORM in turn ("wayland;xcb"); only X needs a server we
  // can check cheaply here. Any other platform (offscreen, vnc, wayland, eglfs) is trusted.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0' && !std::string_view(platform).starts_with("xcb")) return true;

  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    why = "no display server (DISPLAY is not set)";
    return false;
  }
  // xcb_connect always returns a connection object; errors are reported through it.
  const std::unique_ptr<xcb_connection_t, XcbDisconnect> connection(xcb_connect(nullptr, nullptr));
  if (xcb_connection_has_error(connection.get()) != 0) {
    why = Format("cannot open display \"%s\"", display);
    return false;
  }
  return true;
}

}  // namespace kestova
