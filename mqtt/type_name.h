#pragma once
// The readable class name of an object ("TMqttClient"), for log lines and debug renderings.
#include <string>
#include <typeinfo>

namespace kestova {

// Demangled, without the kestova namespace.
std::string MqttTypeName(const std::type_info& AType);

}  // namespace kestova
