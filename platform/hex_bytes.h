#pragma once
// Bytes written as hexadecimal text, the way integrators copy commands out of a device manual:
// two digits per byte, either letter case, blanks (spaces, tabs) allowed between the pairs
// ("1B 74 12", "1b7412").
//
// Thread safety: pure function.
#include <optional>
#include <string>
#include <string_view>

namespace kestova {

// The bytes of `text`; nullopt when it holds anything else, or a digit without its pair.
// Empty or blank text is no bytes.
std::optional<std::string> BytesFromHex(std::string_view text);

}  // namespace kestova
