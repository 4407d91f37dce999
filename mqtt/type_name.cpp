#include "mqtt/type_name.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace kestova {
namespace {

void EraseAll(std::string& AText, std::string_view APart) {
  for (auto at = AText.find(APart); at != std::string::npos; at = AText.find(APart, at)) AText.erase(at, APart.size());
}

}  // namespace

std::string MqttTypeName(const std::type_info& AType) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(AType.name(), nullptr, nullptr, &status),
                                                        &std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : AType.name();
  EraseAll(name, "kestova::");
  EraseAll(name, "(anonymous namespace)::");
  return name;
}

}  // namespace kestova
