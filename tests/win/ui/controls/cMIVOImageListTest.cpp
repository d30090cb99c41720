#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "ui/controls/cMIVOImageList.h"

namespace {

// Pixels are written and read back as the DIB holds them; only the mask colour goes through as a
// COLORREF, and grey reads the same either way round.
constexpr DWORD kMask = RGB(247, 247, 247), kRed = RGB(255, 0, 0);
constexpr int kW = 44, kH = 30;

// A top-down 32-bit DIB section painted by paint(x, y).
struct Dib {
    Dib(int w, int h, auto paint) {
        BITMAPINFO bi = {{sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        bitmap.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS,
                                        reinterpret_cast<void**>(&pixels), nullptr, 0));
        for (int i = 0; i < w * h; ++i)
            pixels[i] = paint(i % w, i / w);
    }
    DWORD Pixel(int x, int y) const { return pixels[y * kW + x] & 0xFFFFFF; }
    DWORD* pixels = nullptr;
    UniqueBitmap bitmap;
};

} // namespace

// The main window's icons: one 880 x 30 strip, one image per 44 pixels, each with a square of
// the mask colour at (10..19, 10..19) that must come out clear.
TEST(ImageList, StripBecomesImagesWithTheMaskColourTransparent) {
    const auto colour = [](int i) -> DWORD { return RGB(0, 10 * i, 255 - 10 * i); };
    Dib strip(20 * kW, kH, [&](int x, int y) {
        return x % kW / 10 == 1 && y / 10 == 1 ? kMask : colour(x / kW);
    });
    cMIVOImageList list;
    list.SetIconSizeX(kW);
    list.SetIconSizeY(kH);
    list.SetColourDepth(ILC_COLOR24);
    EXPECT_FALSE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask)); // not created yet
    ASSERT_TRUE(list.Create());
    EXPECT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask));
    ASSERT_EQ(list.ImageCount(), 20);
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    for (int i : {0, 7, 19}) { // drawn on a red ground
        Dib target(kW, kH, [](int, int) { return kRed; });
        HGDIOBJ old = ::SelectObject(dc.get(), target.bitmap.get());
        EXPECT_TRUE(list.DrawImage(i, dc.get(), 0, 0));
        ::SelectObject(dc.get(), old);
        EXPECT_EQ(std::pair(target.Pixel(2, 2), target.Pixel(15, 15)), std::pair(colour(i), kRed));
    }
}

// Moving a new image behind a key, swapping and copying: images and keys travel together
// (a copy keeps the destination's key). Each image is one colour, named by a letter.
TEST(ImageList, MoveSwapAndCopyKeepImagesAndKeysTogether) {
    const auto colour = [](char c) -> DWORD { return RGB(0, 40 * (c - 'a'), 200); };
    cMIVOImageList list;
    list.SetIconSizeX(kW);
    list.SetIconSizeY(kH);
    list.SetColourDepth(ILC_COLOR24);
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    // The images in order as letters, and their keys.
    const auto images = [&] {
        std::string letters, keys;
        for (std::int32_t i = 0; i < list.ImageCount(); ++i) {
            Dib target(kW, kH, [](int, int) { return kRed; });
            HGDIOBJ old = ::SelectObject(dc.get(), target.bitmap.get());
            list.DrawImage(i, dc.get(), 0, 0);
            ::SelectObject(dc.get(), old);
            for (char c = 'a'; c <= 'e'; ++c)
                letters += target.Pixel(2, 2) == colour(c) ? std::string(1, c) : "";
            keys += list.ItemKey(i);
        }
        return letters + " " + keys;
    };
    const std::tuple<const char*, std::function<void()>, const char*> steps[] = {
        {"move e after a",
         [&] {
             Dib e(kW, kH, [&](int, int) { return colour('e'); });
             const ImageRef after(std::string("a"));
             list.AddFromHandle(e.bitmap.get(), 0, "e", kMask, &after);
         },
         "aebcd aebcd"},
        {"swap b and d", [&] { list.SwapOrCopyImage(std::string("b"), 4, eicSwap); },
         "aedcb aedcb"},
        {"copy a onto c", [&] { list.SwapOrCopyImage(0, std::string("c"), eicCopy); },
         "aedab aedcb"},
    };
    ASSERT_TRUE(list.Create());
    for (char c : std::string("abcd")) {
        Dib image(kW, kH, [&](int, int) { return colour(c); });
        ASSERT_TRUE(list.AddFromHandle(image.bitmap.get(), 0, std::string(1, c), kMask));
    }
    ASSERT_EQ(images(), "abcd abcd");
    for (const auto& [what, step, expected] : steps) {
        step();
        EXPECT_EQ(images(), expected) << what;
    }
}
