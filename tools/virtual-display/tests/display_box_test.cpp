#include "tools/virtual-display/display_box.h"

#include <gtest/gtest.h>

#include <string>

namespace kestova {
namespace {

TEST(DisplayBoxTest, DrawsBothLinesFilledOrCutToTheWidth) {
  EXPECT_EQ(DrawBox({"Ra\x9Fun", "1.50 EUR and more"}, 10),
            "┌──────────┐\n"
            "│Račun     │\n"
            "│1.50 EUR a│\n"
            "└──────────┘\n");
  EXPECT_EQ(DrawBox({"", ""}, 3),
            "┌───┐\n"
            "│   │\n"
            "│   │\n"
            "└───┘\n");
}

TEST(DisplayBoxTest, ControlCharactersNeverReachTheTerminal) {
  EXPECT_EQ(ShowLine(std::string("\x1B[2Ja\x00\x7F\xAC", 8)), "·[2Ja··Č");
  EXPECT_EQ(DrawBox({"\x1BI", "\t"}, 4),
            "┌────┐\n"
            "│·I  │\n"
            "│·   │\n"
            "└────┘\n");
}

}  // namespace
}  // namespace kestova
