// The one place that reads the display's DPI and turns design units into pixels. Windows
// before 10 (1607) have one DPI for the whole screen; newer ones may answer per window.
#pragma once

#include <windows.h>

namespace MDpi {

// DPI of the window's monitor where the system can tell, else of the screen; 96 if unknown.
int WindowDpi(HWND hwnd = nullptr) noexcept;

// Twips (1/1440 inch), the unit the layouts are designed in, to pixels at `dpi`.
inline int TwipsToPixels(int twips, int dpi) noexcept {
    return ::MulDiv(twips, dpi, 1440);
}

// Pixels designed at 96 DPI (pictures, icon sizes) to pixels at `dpi`.
inline int ScaleFrom96(int pixels, int dpi) noexcept {
    return ::MulDiv(pixels, dpi, 96);
}

} // namespace MDpi
