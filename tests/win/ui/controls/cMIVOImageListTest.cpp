#include <gtest/gtest.h>

#include <functional>
#include <optional>
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
    // The images in order, each as the letter of its colour ('a' for Colour(0)), and the keys.
    std::pair<std::string, std::string> Order() {
        std::string images, keys;
        for (std::int32_t i = 0; i < list.ImageCount(); ++i) {
            const DWORD colour = Drawn(i).first, n = GetGValue(colour) / 10;
            images += colour == Colour(int(n)) ? char('a' + n) : '?';
            keys += list.ItemKey(i).empty() ? "-" : list.ItemKey(i);
        }
        return {images, keys};
    }
    cMIVOImageList list;
    UniqueMemoryDc dc{::CreateCompatibleDC(nullptr)};
};

// What a case does to the list; false when the list refused it.
using Change = std::function<bool(cMIVOImageList&)>;
Change Swap(ImageRef src, ImageRef dst, EImageCopy how = eicSwap) {
    return [=](cMIVOImageList& l) { return l.SwapOrCopyImage(src, dst, how); };
}
Change Remove(ImageRef image) {
    return [=](cMIVOImageList& l) { return l.RemoveImage(image); };
}
// Adds image e (Colour(4)) under key, after the image named (none: at the end).
Change Add(std::string key, std::optional<ImageRef> after = std::nullopt) {
    return [=](cMIVOImageList& l) {
        const Dib e = Strip(1, 4);
        return l.AddFromHandle(e.bitmap.get(), 0, key, kMask, after ? &*after : nullptr);
    };
}
// Refused with 5 when another image has the key.
Change Rename(std::int32_t index, std::string key) {
    return [=](cMIVOImageList& l) {
        try {
            l.SetItemKey(index, key);
            return true;
        } catch (const AppError& e) {
            return e.Number() != 5;
        }
    };
}
// Adds under key "e" from a file of the program's pictures, from its own resources, or the block
// at x, y of a strip of images e and f, masked by back (-1: the block's corner).
Change File(const char* name, std::int32_t type) {
    return [=](auto& l) { return l.AddFromFile(PICTURES + std::string(name), type, "e"); };
}
Change Resource(std::int32_t id, std::int32_t type) {
    return [=](cMIVOImageList& l) { return l.AddFromResourceID(id, nullptr, type, "e"); };
}
Change Block(int x, int y, std::int32_t back = -1) {
    return [=](cMIVOImageList& l) {
        const Dib ef = Strip(2, 4);
        const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
        ::SelectObject(dc.get(), ef.bitmap.get());
        return l.AddFromPictureBox(dc.get(), "e", x, y, back);
    };
}

} // namespace

// Images a, b, c, d keyed "a".."d"; each case changes them and leaves images and keys in order
// ('?': an image of none of the strip's colours, or clear there). A refused change (an unknown
// image, a key in use, a missing file, an unknown type) returns false and changes nothing.
TEST_F(ImageList, ImagesAndKeysMoveTogether) {
    const struct {
        const char* what;
        Change change;
        const char* images = "abcd";
        const char* keys = "abcd";
        bool done = true;
    } cases[] = {
        {.what = "swap by key", .change = Swap("a", "c"), .images = "cbad", .keys = "cbad"},
        {.what = "swap by index", .change = Swap(3, 1), .images = "adcb", .keys = "adcb"},
        {.what = "copy", .change = Swap("b", "d", eicCopy), .images = "abcb"},
        {.what = "remove", .change = Remove("b"), .images = "acd", .keys = "acd"},
        {.what = "remove the last", .change = Remove(3), .images = "abc", .keys = "abc"},
        {.what = "add after a key", .change = Add("e", "a"), .images = "aebcd", .keys = "aebcd"},
        {.what = "add after the last", .change = Add("e", 3), .images = "abcde", .keys = "abcde"},
        {.what = "rename", .change = Rename(2, "x"), .keys = "abxd"},
        {.what = "bmp", .change = File("key_insert.bmp", 0), .images = "abcd?", .keys = "abcde"},
        {.what = "ico", .change = File("tavelin.ico", 1), .images = "abcd?", .keys = "abcde"},
        {.what = "cur", .change = File("hand.cur", 2), .images = "abcd?", .keys = "abcde"},
        {.what = "bitmap resource",
         .change = Resource(IDB_KEYCAP_INSERT, 0),
         .images = "abcd?",
         .keys = "abcde"},
        {.what = "icon", .change = Resource(IDI_TAVELIN, 1), .images = "abcd?", .keys = "abcde"},
        {.what = "block", .change = Block(kW, 0, kMask), .images = "abcdf", .keys = "abcde"},
        {.what = "corner", .change = Block(kW, 0), .images = "abcd?", .keys = "abcde"},
        {.what = "swap with none", .change = Swap("a", "x"), .done = false},
        {.what = "remove none", .change = Remove(4), .done = false},
        {.what = "add under a key in use", .change = Add("c"), .done = false},
        {.what = "rename to a key in use", .change = Rename(1, "a"), .done = false},
        {.what = "missing file", .change = File("none.bmp", 0), .done = false},
        {.what = "unknown type", .change = File("key_insert.bmp", 3), .done = false},
    };
    const Dib strip = Strip(4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(list.Create());
        ASSERT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "", kMask));
        for (std::int32_t i = 0; i < 4; ++i)
            list.SetItemKey(i, std::string(1, char('a' + i)));
        EXPECT_EQ(c.change(list), c.done);
        const auto [images, keys] = Order();
        EXPECT_EQ(images, c.images);
        EXPECT_EQ(keys, c.keys);
    }
    list.Clear();
    EXPECT_EQ(list.ImageCount(), 0);
    EXPECT_EQ(list.ItemKey(0), "");
}

// The main window's icons: an 880 x 30 strip, 44 pixels an image, the mask colour clear. The
// picture strip spans the keys either way round and frees its bitmap (Wine counts no GDI
// objects: a leak shows only so); an icon copy only of an image that exists.
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
    EXPECT_FALSE(list.KeyExists("x"));
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
    EXPECT_FALSE(list.ItemCopyOfIcon("x"));
    picture = list.ItemPicture("d");
    ASSERT_TRUE(picture);
    SHORT type = 0;
    picture->get_Type(&type);
    EXPECT_EQ(type, PICTYPE_ICON);
    picture->get_Handle(&handle);
    EXPECT_TRUE(UniqueIcon(::CopyIcon(HICON(UINT_PTR(handle))))) << "the picture holds the icon";
    EXPECT_FALSE(list.ItemPicture("x"));
}

// OLE colours: an RGB value as it is, a system colour as it is now, an unknown one as -1. The
// colour depth is the display's.
TEST(ImageListColours, TranslatedAndTheDisplaysDepth) {
    EXPECT_EQ(cMIVOImageList::TranslateColor(RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(cMIVOImageList::TranslateColor(std::int32_t(0x80000000u | COLOR_HIGHLIGHT)),
              std::int32_t(::GetSysColor(COLOR_HIGHLIGHT)));
    EXPECT_EQ(cMIVOImageList::TranslateColor(std::int32_t(0x800000FFu)), -1);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(::EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(cMIVOImageList::SystemColourDepth(), std::int32_t(mode.dmBitsPerPel));
}
