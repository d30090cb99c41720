#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ui/main/LabelColours.h"

namespace {

// The contrast ratio of two COLORREF values as accessibility guidelines define it (1 to 21).
double Contrast(std::uint32_t a, std::uint32_t b) {
    const auto luminance = [](std::uint32_t c) { // plus the flare both sides get
        double sum = 0.05;
        for (const auto& [shift, weight] :
             {std::pair(0, 0.2126), std::pair(8, 0.7152), std::pair(16, 0.0722)}) {
            const double s = (c >> shift & 0xFF) / 255.0;
            sum += weight * (s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    return std::max(luminance(a), luminance(b)) / std::min(luminance(a), luminance(b));
}

} // namespace

// Labels stay readable whatever the system colours are; a high-contrast theme's own colours
// are used for text and background alike.
TEST(LabelColoursTest, ReadableInEveryTheme) {
    const std::tuple<const char*, bool, std::uint32_t, std::uint32_t> themes[] = {
        {"standard", false, 0xFFFFFF, 0x000000},
        {"dark scheme, contrast off", false, 0x202020, 0xFFFFFF},
        {"high contrast black", true, 0x000000, 0xFFFFFF},
        {"high contrast white", true, 0xFFFFFF, 0x000000},
        {"high contrast #1", true, 0x000000, 0x00FFFF},
    };
    for (const auto& [name, high, window, text] : themes) {
        const LabelColours chosen = ChooseLabelColours(high, window, text);
        EXPECT_GE(Contrast(chosen.text, chosen.back), 4.5) << name;
        EXPECT_EQ(chosen.back, high ? window : 0xF7F7F7u) << name;
    }
}
