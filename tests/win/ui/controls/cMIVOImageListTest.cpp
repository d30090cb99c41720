#include <gtest/gtest.h>

#include <string>

#include "core/AppError.h"
#include "pictures.h"
#include "ui/controls/cMIVOImageList.h"

namespace {

// Pixels as the DIB holds them; the mask colour, a COLORREF, is grey: the same either way round.
constexpr DWORD kMask = RGB(247, 247, 247), kRed = RGB(255, 0, 0);
constexpr int kW = 44, kH = 30;
constexpr DWORD Colour(int i) {
    return RGB(0, 10 * i, 255 - 10 * i);
}

// A top-down 32-bit DIB section of n images side by side, painted by paint(x, y).
struct Dib {
    Dib(int n, auto paint) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof bi.bmiHeader, n * kW, -kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; // top-down
        bitmap.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS,
                                        reinterpret_cast<void**>(&pixels), nullptr, 0));
        for (int i = 0; i < n * kW * kH; ++i)
            pixels[i] = paint(i % (n * kW), i / (n * kW));
    }
    DWORD Pixel(int x, int y) const { return pixels[y * kW + x] & 0xFFFFFF; }
    DWORD* pixels = nullptr;
    UniqueBitmap bitmap;
};

// A strip of n images, image i in Colour(first + i) with a square of the mask colour at (10..19).
Dib Strip(int n, int first = 0) {
    return Dib(n, [=](int x, int y) {
        return x % kW / 10 == 1 && y / 10 == 1 ? kMask : Colour(first + x / kW);
    });
}

// The main window's list: 44 x 30 pixels, 24-bit colour.
struct ImageList : ::testing::Test {
    void SetUp() override {
        list.SetIconSizeX(kW);
        list.SetIconSizeY(kH);
        list.SetColourDepth(ILC_COLOR24);
    }
    // Image i drawn on a red ground: a pixel outside and one inside the square at (10..19).
    std::pair<DWORD, DWORD> Drawn(std::int32_t i) {
        Dib target(1, [](int, int) { return kRed; });
        HGDIOBJ old = ::SelectObject(dc.get(), target.bitmap.get());
        EXPECT_TRUE(list.DrawImage(i, dc.get(), 0, 0)) << i;
        ::SelectObject(dc.get(), old);
        return {target.Pixel(2, 2), target.Pixel(15, 15)};
    }
    // The images in order, each as the letter of its colour ('a' for Colour(0)), then the keys.
    std::string Order() {
        std::string images, keys;
        for (std::int32_t i = 0; i < list.ImageCount(); ++i) {
            const DWORD colour = Drawn(i).first, n = GetGValue(colour) / 10;
            images += colour == Colour(int(n)) ? char('a' + n) : '?';
            keys += list.ItemKey(i).empty() ? "-" : list.ItemKey(i);
        }
        return images + " " + keys;
    }
    cMIVOImageList list;
    UniqueMemoryDc dc{::CreateCompatibleDC(nullptr)};
};

} // namespace

// Images a, b, c, d keyed "a".."d", changed in turn by each member that changes them; images and
// keys stay together ('?': an image of none of the strip's colours, or clear there); a key in use
// is refused. One check a member: the program calls few of them.
TEST_F(ImageList, ImagesAndKeysMoveTogether) {
    const Dib strip = Strip(4), e = Strip(1, 4), ef = Strip(2, 4);
    ASSERT_TRUE(list.Create());
    ASSERT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask));
    for (std::int32_t i = 0; i < 4; ++i)
        list.SetItemKey(i, std::string(1, char('a' + i)));
    EXPECT_TRUE(list.SwapOrCopyImage("a", "c", eicSwap));
    EXPECT_TRUE(list.SwapOrCopyImage(3, 1, eicCopy));
    EXPECT_EQ(Order(), "cdad cbad") << "a copy keeps the destination's key";
    EXPECT_TRUE(list.RemoveImage("b"));
    list.SetItemKey(2, "x");
    const ImageRef c = "c";
    EXPECT_TRUE(list.AddFromHandle(e.bitmap.get(), 0, "e", kMask, &c));
    EXPECT_TRUE(list.AddFromFile(PICTURES + std::string("key_insert.bmp"), 0, "f"));
    EXPECT_TRUE(list.AddFromResourceID(IDI_TAVELIN, nullptr, 1, "g"));
    const UniqueMemoryDc source(::CreateCompatibleDC(nullptr));
    ::SelectObject(source.get(), ef.bitmap.get());
    EXPECT_TRUE(list.AddFromPictureBox(source.get(), "h", kW, 0, kMask));
    EXPECT_THROW(list.SetItemKey(1, "a"), AppError);
    EXPECT_EQ(Order(), "cead??f ceaxfgh");
    list.Clear();
    EXPECT_EQ(list.ImageCount(), 0);
}

// The main window's icons: an 880 x 30 strip, 44 pixels an image, the mask colour clear. The
// picture strip spans the keys either way round and frees its bitmap (Wine counts no GDI objects).
TEST_F(ImageList, StripBecomesImagesWithTheMaskColourTransparent) {
    const Dib strip = Strip(20);
    ASSERT_TRUE(list.Create());
    EXPECT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "a", kMask));
    ASSERT_EQ(list.ImageCount(), 20);
    for (int i : {0, 7, 19}) {
        const auto [outside, inside] = Drawn(i);
        EXPECT_EQ(outside, Colour(i)) << i;
        EXPECT_EQ(inside, kRed) << i;
    }
    list.SetItemKey(3, "d");
    EXPECT_TRUE(list.KeyExists("d"));
    EXPECT_EQ(list.ItemIndex("d"), 3);
    ComPtr<IPicture> picture = list.ImagePictureStrip("d", 1);
    ASSERT_TRUE(picture);
    OLE_HANDLE handle = 0;
    picture->get_Handle(&handle);
    const auto bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    BITMAP bm{};
    ::GetObjectW(bitmap, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 3 * kW);
    picture.reset();
    EXPECT_EQ(::GetObjectType(bitmap), 0u) << "the picture frees its bitmap";
    EXPECT_TRUE(list.ItemCopyOfIcon("d"));
    picture = list.ItemPicture("d");
    ASSERT_TRUE(picture);
    picture->get_Handle(&handle);
    EXPECT_TRUE(UniqueIcon(::CopyIcon(HICON(UINT_PTR(handle))))) << "the picture holds the icon";
}

// An OLE system colour as it is now; the colour depth is the display's.
TEST(ImageListColours, TranslatedAndTheDisplaysDepth) {
    EXPECT_EQ(cMIVOImageList::TranslateColor(std::int32_t(0x80000000u | COLOR_HIGHLIGHT)),
              std::int32_t(::GetSysColor(COLOR_HIGHLIGHT)));
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(::EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(cMIVOImageList::SystemColourDepth(), std::int32_t(mode.dmBitsPerPel));
}
