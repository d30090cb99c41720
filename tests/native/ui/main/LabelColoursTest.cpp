#include <gtest/gtest.h>

#include "ui/main/LabelColours.h"

// Black on the window's grey whatever the system's text colour (a dark scheme's white would
// vanish); a high-contrast theme's own pair.
TEST(LabelColoursTest, OwnPairUnlessHighContrast) {
    const struct {
        bool high;
        std::uint32_t window, text;
        LabelColours chosen;
    } cases[] = {
        {.high = false, .window = 0x202020, .text = 0xFFFFFF, .chosen = {0xF7F7F7, 0x000000}},
        {.high = true, .window = 0x000000, .text = 0x00FFFF, .chosen = {0x000000, 0x00FFFF}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLabelColours(c.high, c.window, c.text), c.chosen) << c.high;
}
