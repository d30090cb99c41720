#include <gtest/gtest.h>

#include "ui/controls/cMIVOImageList.h"

namespace {

// Pixels as the DIB holds them; the mask colour, a COLORREF, is grey: the same either way round.
constexpr DWORD kMask = RGB(247, 247, 247), kRed = RGB(255, 0, 0);
constexpr int kW = 44, kH = 30;
DWORD Colour(int i) {
    return RGB(0, 10 * i, 255 - 10 * i);
}

// A top-down 32-bit DIB section painted by paint(x, y).
struct Dib {
    Dib(int w, int h, auto paint) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h; // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bitmap.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS,
                                        reinterpret_cast<void**>(&pixels), nullptr, 0));
        for (int i = 0; i < w * h; ++i)
            pixels[i] = paint(i % w, i / w);
    }
    DWORD Pixel(int x, int y) const { return pixels[y * kW + x] & 0xFFFFFF; }
    DWORD* pixels = nullptr;
    UniqueBitmap bitmap;
};

// A strip of n images, image i in Colour(i) with a square of the mask colour at (10..19).
Dib Strip(int n) {
    return Dib(n * kW, kH, [=](int x, int y) {
        return x % kW / 10 == 1 && y / 10 == 1 ? kMask : Colour(x / kW);
    });
}

} // namespace

// The main window's icons, in its list (44 x 30 pixels, 24-bit colour): an 880 x 30 strip, 44
// pixels an image, the mask colour clear.
TEST(ImageList, StripBecomesImagesWithTheMaskColourTransparent) {
    cMIVOImageList list;
    list.SetIconSizeX(kW);
    list.SetIconSizeY(kH);
    list.SetColourDepth(ILC_COLOR24);
    const Dib strip = Strip(20);
    ASSERT_TRUE(list.Create());
    EXPECT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask));
    ASSERT_EQ(list.ImageCount(), 20);
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    for (int i : {0, 7, 19}) {
        // Drawn on a red ground: a pixel outside and one inside the square at (10..19).
        const Dib target(kW, kH, [](int, int) { return kRed; });
        HGDIOBJ old = ::SelectObject(dc.get(), target.bitmap.get());
        EXPECT_TRUE(list.DrawImage(i, dc.get(), 0, 0)) << i;
        ::SelectObject(dc.get(), old);
        EXPECT_EQ(target.Pixel(2, 2), Colour(i)) << i;
        EXPECT_EQ(target.Pixel(15, 15), kRed) << i;
    }
}
