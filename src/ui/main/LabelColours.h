// The colours of the main window's background and labels, chosen as a pair: text is never drawn
// in a system colour on a fixed background, which a high-contrast theme could make unreadable.
// Pure code: colours are COLORREF values (0x00BBGGRR).
#pragma once

#include <cstdint>

struct LabelColours {
    std::uint32_t back = 0;
    std::uint32_t text = 0;
    bool operator==(const LabelColours&) const = default;
};

// The window's own light grey with black text; in a high-contrast theme the system's window
// colours for both, so that the theme decides.
constexpr LabelColours ChooseLabelColours(bool highContrast, std::uint32_t systemWindow,
                                          std::uint32_t systemWindowText) {
    if (highContrast)
        return {systemWindow, systemWindowText};
    return {0xF7F7F7u, 0x000000u};
}
