#pragma once
// How the virtual display draws a frame in a terminal.
#include <cstddef>
#include <string>
#include <string_view>

#include "tools/virtual-display/frame_decoder.h"

namespace kestova {

// Rows of a drawn box: border, line 1, line 2, border.
inline constexpr int kBoxRows = 4;

// One display line as text: code page 852 decoded; control characters, which the display does
// not show and which would steer the terminal, become a middle dot.
std::string ShowLine(std::string_view cp852);

// The two lines in a box `width` characters wide: longer lines are cut, shorter ones filled with
// blanks. Each of the kBoxRows rows ends with a line feed.
std::string DrawBox(const TDisplayFrame& frame, std::size_t width);

}  // namespace kestova
