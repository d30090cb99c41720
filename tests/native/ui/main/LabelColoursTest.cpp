#include <gtest/gtest.h>

#include "ui/main/LabelColours.h"

// Black on the window's grey whatever the system's text colour (a dark scheme's white would
// vanish); a high-contrast theme's own pair.
TEST(LabelColoursTest, OwnPairUnlessHighContrast) {
    const std::tuple<bool, std::uint32_t, std::uint32_t, LabelColours> cases[] = {
        {false, 0x202020, 0xFFFFFF, {0xF7F7F7, 0x000000}},
        {true, 0x000000, 0x00FFFF, {0x000000, 0x00FFFF}},
    };
    for (const auto& [high, window, text, expected] : cases)
        EXPECT_EQ(ChooseLabelColours(high, window, text), expected) << high;
}
