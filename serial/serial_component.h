#pragma once
// The common base of the serial components: a name (the settings store's default section) and
// the notification that the component has been set up ("loaded").
#include <string>

namespace kestova {

class TSerialComponent {
 public:
  TSerialComponent() = default;
  TSerialComponent(const TSerialComponent&) = delete;
  TSerialComponent& operator=(const TSerialComponent&) = delete;
  virtual ~TSerialComponent() = default;

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  // Called by the owner once the component's properties are set.
  virtual void Loaded() {}

 private:
  std::string FName;
};

}  // namespace kestova
