#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ui/main/LabelColours.h"

namespace {

// The contrast ratio of two COLORREF values as accessibility guidelines define it (1 to 21).
double Contrast(std::uint32_t a, std::uint32_t b) {
    auto luminance = [](std::uint32_t c) {
        auto channel = [](std::uint32_t v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c & 0xFF) + 0.7152 * channel(c >> 8 & 0xFF) +
               0.0722 * channel(c >> 16 & 0xFF);
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
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
