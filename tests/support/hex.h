#pragma once
// Bytes written and read as hexadecimal text, for scripting exact wire bytes and for readable
// failure messages.
#include <string>
#include <string_view>

namespace kestova::test {

// "10 0c 00 04": two lower-case digits per byte, separated by spaces.
std::string ToHex(std::string_view bytes);
// The bytes of hexadecimal text; blanks between the pairs are allowed ("100c 00 04").
// Raises ETestSupportError on anything else.
std::string FromHex(std::string_view hex);

}  // namespace kestova::test
