#pragma once
// The one thing the server window keeps besides its controls: the display service it started.
// The window does not need to know the service's type, only that destroying it stops the
// service (its MQTT client threads, its serial port). TOwnedService takes any
// std::unique_ptr<T> implicitly, so a start-up routine returning std::unique_ptr<TService> can
// be handed to the window as it is.
//
// Thread safety: owned and released on the main thread.
#include <memory>

namespace kestova {

class TOwnedService {
 public:
  TOwnedService() noexcept = default;
  template <class T>
  TOwnedService(std::unique_ptr<T> object) noexcept  // NOLINT: implicit on purpose, see above
      : FObject(object.release(), [](void* p) { std::default_delete<T>()(static_cast<T*>(p)); }) {}

  explicit operator bool() const noexcept { return FObject != nullptr; }
  // Destroys the service now; does nothing when there is none.
  void Reset() noexcept { FObject.reset(); }

 private:
  std::unique_ptr<void, void (*)(void*)> FObject{nullptr, [](void*) {}};
};

}  // namespace kestova
