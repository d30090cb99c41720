#include <gtest/gtest.h>

#include <cmath>

#include "Handles.h"
#include "MCenterMBX.h"
#include "MsgBoxWatcher.h"

using testsupport::MsgBoxWatcher;

namespace {

UniqueWindow MakeOwner(RECT r, DWORD extraStyle = WS_VISIBLE) {
    return UniqueWindow(::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | extraStyle, r.left,
                                          r.top, r.right - r.left, r.bottom - r.top, nullptr,
                                          nullptr, nullptr, nullptr));
}

// Where the box must stand: its centre on (cx, cy), halves rounded down.
POINT Expected(double cx, double cy, const RECT& box) {
    return {static_cast<LONG>(std::floor(cx - (box.right - box.left) / 2.0)),
            static_cast<LONG>(std::floor(cy - (box.bottom - box.top) / 2.0))};
}

RECT WorkArea() {
    RECT r{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

} // namespace

// Owner 400 x 300 at (100, 100) and a box of 301 x 120: centre (300, 250), box at (149, 190);
// halves round down, also left of and above the primary screen.
TEST(CenteredMsgBox, PlacementArithmetic) {
    struct Case {
        RECT owner, box;
        POINT centre, origin;
    } cases[] = {
        {{100, 100, 500, 400}, {0, 0, 301, 120}, {300, 250}, {149, 190}},
        {{-601, -401, -200, -100}, {5, 5, 8, 10}, {-401, -251}, {-403, -254}},
    };
    for (const auto& c : cases) {
        POINT centre = MCenterMBX::CentreOf(c.owner);
        EXPECT_EQ(centre.x, c.centre.x);
        EXPECT_EQ(centre.y, c.centre.y);
        POINT origin = MCenterMBX::OriginFor(centre, c.box);
        EXPECT_EQ(origin.x, c.origin.x);
        EXPECT_EQ(origin.y, c.origin.y);
    }
}

// The real box lands on the owner's centre (also for odd sizes and coordinates left of and above
// the primary screen), the button pressed comes back, and the hook is gone afterwards.
TEST(CenteredMsgBox, CentresOnTheOwner) {
    struct Case {
        RECT owner;
        double cx, cy;
    } cases[] = {
        {{100, 100, 500, 400}, 300, 250},
        {{-601, -401, -200, -100}, -401, -251},
    };
    for (const auto& c : cases) {
        UniqueWindow owner = MakeOwner(c.owner);
        ASSERT_TRUE(owner);
        std::string title = "Restore";
        MsgBoxWatcher watcher("Restore", IDNO);
        int result = MCenterMBX::CenteredMsgBox("Restore the settings?", MB_YESNO | MB_ICONQUESTION,
                                                title, owner.get());
        const auto& box = watcher.Result();
        ASSERT_TRUE(box) << "no box for owner at " << c.owner.left;
        POINT want = Expected(c.cx, c.cy, box->rect);
        EXPECT_EQ(box->rect.left, want.x) << c.owner.left;
        EXPECT_EQ(box->rect.top, want.y) << c.owner.left;
        EXPECT_EQ(box->text, "Restore the settings?");
        EXPECT_EQ(result, IDNO);
        EXPECT_EQ(title, "Restore");
        EXPECT_FALSE(MCenterMBX::HookInstalled());
    }
}

// Without a usable owner the box stands in the middle of the primary work area; an empty title
// becomes the product name in the caller's variable.
TEST(CenteredMsgBox, WithoutUsableOwnerCentresOnTheWorkArea) {
    UniqueWindow hidden = MakeOwner({100, 100, 500, 400}, 0);
    UniqueWindow minimised = MakeOwner({100, 100, 500, 400}, WS_VISIBLE | WS_MINIMIZE);
    RECT work = WorkArea();
    for (HWND owner : {HWND{nullptr}, hidden.get(), minimised.get()}) {
        std::string title;
        MsgBoxWatcher watcher("Tavelin", IDOK);
        int result = MCenterMBX::CenteredMsgBox("Text", MB_OK, title, owner);
        const auto& box = watcher.Result();
        ASSERT_TRUE(box);
        POINT want = Expected(std::floor((work.left + work.right) / 2.0),
                              std::floor((work.top + work.bottom) / 2.0), box->rect);
        EXPECT_EQ(box->rect.left, want.x);
        EXPECT_EQ(box->rect.top, want.y);
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(title, "Tavelin");
        EXPECT_FALSE(MCenterMBX::HookInstalled());
    }
}

// The hook removed itself: a plain box shown afterwards stands where the system puts it.
TEST(CenteredMsgBox, LaterBoxesAreNotMoved) {
    auto plainBox = [] {
        MsgBoxWatcher watcher("plain", IDOK);
        ::MessageBoxW(nullptr, L"x", L"plain", MB_OK);
        return watcher.Result()->rect;
    };
    RECT before = plainBox();
    UniqueWindow owner = MakeOwner({0, 0, 200, 100});
    std::string title = "centred";
    MsgBoxWatcher watcher("centred", IDOK);
    MCenterMBX::CenteredMsgBox("x", MB_OK, title, owner.get());
    ASSERT_TRUE(watcher.Result());
    RECT after = plainBox();
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
}
