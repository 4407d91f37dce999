#pragma once
// The named character references the parser knows (case-sensitive): the five of XML and the
// Latin-1 names for U+00A0 to U+00FF.
#include <cstdint>
#include <string_view>

namespace kestova {

inline constexpr int kCharacterReferenceCount = 101;

// The code point of a known name, or -1.
int32_t FindCharacterReference(std::u16string_view name) noexcept;

}  // namespace kestova
