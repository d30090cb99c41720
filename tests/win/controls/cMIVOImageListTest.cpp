#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "cMIVOImageList.h"

namespace {

// Pixels are written and read back as the DIB holds them; only the mask colour goes through as a
// COLORREF, and grey reads the same either way round.
constexpr DWORD kMask = RGB(247, 247, 247), kRed = RGB(255, 0, 0), kGreen = RGB(0, 128, 0);
constexpr int kW = 44, kH = 30;

// Colour of image i of a strip, which has a mask-coloured square at (10..19, 10..19).
constexpr DWORD Colour(int i) {
    return RGB(0, 10 * i, 255 - 10 * i);
}

struct Dib {
    Dib(int w, int h, const std::function<DWORD(int, int)>& paint) {
        BITMAPINFO bi = {{sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        bitmap.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS,
                                        reinterpret_cast<void**>(&pixels), nullptr, 0));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[y * w + x] = paint(x, y);
    }
    DWORD* pixels = nullptr;
    UniqueBitmap bitmap;
};

Dib Strip(int images, DWORD corner = 0) {
    return Dib(images * kW, kH, [=](int x, int y) {
        if (corner && ((x < 5 && y < 5) || (x >= 30 && y >= 20)))
            return corner;
        return x % kW / 10 == 1 && y / 10 == 1 ? kMask : Colour(x / kW);
    });
}

// Draws image i on a red ground and returns the pixels at the given points.
std::vector<DWORD> Drawn(const cMIVOImageList& list, int i, std::vector<POINT> points) {
    Dib target(kW, kH, [](int, int) { return kRed; });
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    HGDIOBJ old = ::SelectObject(dc.get(), target.bitmap.get());
    EXPECT_TRUE(list.DrawImage(i, dc.get(), 0, 0));
    ::SelectObject(dc.get(), old);
    std::vector<DWORD> seen;
    for (POINT p : points)
        seen.push_back(target.pixels[p.y * kW + p.x] & 0xFFFFFF);
    return seen;
}

} // namespace

// The main window's icons: one 880 x 30 strip, one image per 44 pixels, mask colour clear. With
// -1 the top-left pixel's colour is the mask instead, and the usual mask colour is opaque.
TEST(ImageList, StripBecomesImagesWithTheMaskColourTransparent) {
    cMIVOImageList list;
    list.SetIconSizeX(kW);
    list.SetIconSizeY(kH);
    list.SetColourDepth(ILC_COLOR24);
    Dib strip = Strip(20);
    EXPECT_FALSE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask));
    ASSERT_TRUE(list.Create());
    EXPECT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask));
    ASSERT_EQ(list.ImageCount(), 20);
    for (int i : {0, 7, 19})
        EXPECT_EQ(Drawn(list, i, {{2, 2}, {15, 15}}), (std::vector{Colour(i), kRed})) << i;

    ASSERT_TRUE(list.Create());
    EXPECT_EQ(list.ImageCount(), 0);
    ASSERT_TRUE(list.AddFromHandle(Strip(1, kGreen).bitmap.get(), 0, "", -1));
    EXPECT_EQ(Drawn(list, 0, {{1, 1}, {32, 22}, {15, 15}, {40, 2}}),
              (std::vector{kRed, kRed, kMask, Colour(0)}));
}
