#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AppError.h"
#include "cMIVOImageList.h"

namespace {

constexpr COLORREF kMask = RGB(247, 247, 247);
constexpr COLORREF kGround = RGB(255, 0, 0);
constexpr int kW = 44, kH = 30;

// Colour of image i of a strip, which has a mask-coloured square at (10..19, 10..19).
constexpr COLORREF Colour(int i) {
    return RGB(0, 10 * i, 255 - 10 * i);
}

// A 24-bit top-down DIB section and a memory DC with it selected.
struct Dib {
    Dib(int w, int h) : dc(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        bitmap.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        old = ::SelectObject(dc.get(), bitmap.get());
    }
    ~Dib() { ::SelectObject(dc.get(), old); }
    void Fill(int x, int y, int w, int h, COLORREF c) {
        RECT r = {x, y, x + w, y + h};
        UniqueBrush brush(::CreateSolidBrush(c));
        ::FillRect(dc.get(), &r, brush.get());
    }
    // The bitmap alone, for functions that select it themselves.
    HBITMAP Release() {
        ::SelectObject(dc.get(), old);
        old = nullptr;
        return bitmap.get();
    }
    COLORREF At(int x, int y) const { return ::GetPixel(dc.get(), x, y); }

    UniqueMemoryDc dc;
    UniqueBitmap bitmap;
    HGDIOBJ old = nullptr;
};

// A strip of images of kW x kH, the first in Colour(first).
struct Strip : Dib {
    explicit Strip(int images, int first = 0) : Dib(images * kW, kH) {
        for (int i = 0; i < images; ++i) {
            Fill(i * kW, 0, kW, kH, Colour(first + i));
            Fill(i * kW + 10, 10, 10, 10, kMask);
        }
    }
};

// Draws the image on a red ground and returns the colours at the image colour and mask spots.
std::pair<COLORREF, COLORREF> Drawn(const cMIVOImageList& list, const ImageRef& image) {
    Dib target(kW, kH);
    target.Fill(0, 0, kW, kH, kGround);
    EXPECT_TRUE(list.DrawImage(image, target.dc.get(), 0, 0));
    return {target.At(2, 2), target.At(15, 15)};
}

struct ImageListTest : ::testing::Test {
    void SetUp() override {
        list.SetIconSizeX(kW);
        list.SetIconSizeY(kH);
        list.SetColourDepth(ILC_COLOR24);
    }
    cMIVOImageList list;
};

} // namespace

// The main window's icons: one 880 x 30 strip, one image per 44 pixels, mask colour clear.
TEST_F(ImageListTest, StripBecomesTwentyImagesWithMaskColourTransparent) {
    Strip strip(20);
    EXPECT_FALSE(list.AddFromHandle(strip.Release(), 0, "", static_cast<std::int32_t>(kMask)));
    ASSERT_TRUE(list.Create());
    EXPECT_TRUE(list.AddFromHandle(strip.bitmap.get(), 0, "", static_cast<std::int32_t>(kMask)));
    ASSERT_EQ(list.ImageCount(), 20);
    for (int i : {0, 7, 19}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Drawn(list, i), std::make_pair(Colour(i), kGround));
    }

    ASSERT_TRUE(list.Create());
    EXPECT_NE(list.hIml(), nullptr);
    EXPECT_EQ(list.ImageCount(), 0);
}

// With -1 the top-left pixel's colour is the mask, and the usual mask colour is opaque.
TEST_F(ImageListTest, BackColourMinusOneMasksTheTopLeftColour) {
    ASSERT_TRUE(list.Create());
    Strip strip(1);
    strip.Fill(0, 0, 5, 5, RGB(0, 128, 0));
    strip.Fill(30, 20, 5, 5, RGB(0, 128, 0));
    ASSERT_TRUE(list.AddFromHandle(strip.Release(), 0, "", -1));

    Dib target(kW, kH);
    target.Fill(0, 0, kW, kH, kGround);
    list.DrawImage(0, target.dc.get(), 0, 0);
    const COLORREF at[] = {target.At(1, 1), target.At(32, 22), target.At(15, 15), target.At(40, 2)};
    EXPECT_EQ(std::vector<COLORREF>(at, at + 4),
              (std::vector<COLORREF>{kGround, kGround, kMask, Colour(0)}));
}

// Keys follow their images when an image is placed after another or two are swapped.
TEST_F(ImageListTest, KeysFollowImagesWhenMovedSwappedOrRemoved) {
    ASSERT_TRUE(list.Create());
    const char* keys[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
        Strip one(1, i);
        ASSERT_TRUE(list.AddFromHandle(one.Release(), 0, keys[i], static_cast<int>(kMask)));
    }
    Strip d(1, 9);
    const ImageRef afterA = std::string("a");
    EXPECT_FALSE(list.AddFromHandle(d.Release(), 0, "b", static_cast<int>(kMask)));
    ASSERT_TRUE(list.AddFromHandle(d.bitmap.get(), 0, "d", static_cast<int>(kMask), &afterA));

    auto order = [&] {
        std::vector<std::string> k;
        for (int i = 0; i < list.ImageCount(); ++i) {
            k.push_back(list.ItemKey(i));
            EXPECT_EQ(Drawn(list, i).first, Colour(k.back() == "d" ? 9 : k.back()[0] - 'a'))
                << k.back();
        }
        return k;
    };
    EXPECT_EQ(order(), (std::vector<std::string>{"a", "d", "b", "c"}));
    EXPECT_TRUE(list.SwapOrCopyImage(std::string("a"), std::string("c"), eicSwap));
    EXPECT_EQ(order(), (std::vector<std::string>{"c", "d", "b", "a"}));
    EXPECT_TRUE(list.RemoveImage(std::string("d")));
    EXPECT_EQ(order(), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(list.ItemIndex(std::string("a")), 2);
    EXPECT_EQ(list.ItemIndex(std::string("d")), -1);
    EXPECT_THROW(list.SetItemKey(0, "b"), AppError);

    EXPECT_TRUE(list.ItemCopyOfIcon(1));
    EXPECT_TRUE(list.ItemPicture(1));
    EXPECT_TRUE(list.ImagePictureStrip(0, 2));
    Strip three(3);
    EXPECT_TRUE(list.AddFromPictureBox(three.dc.get(), "p", kW, 0, static_cast<int>(kMask)));
    EXPECT_EQ(Drawn(list, std::string("p")), std::make_pair(Colour(1), kGround));
    list.Clear();
    EXPECT_EQ(list.ImageCount(), 0);
    EXPECT_FALSE(list.KeyExists("a"));
}
