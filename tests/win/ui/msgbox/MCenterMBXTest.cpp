#include <gtest/gtest.h>

#include "win32/Handles.h"
#include "ui/msgbox/MCenterMBX.h"
#include "support/MsgBoxWatcher.h"

// The real box lands on the owner's centre (also left of and above the primary screen), else (also
// for a minimized owner) on the work area's; an empty title shows the product name; no hook stays.
TEST(CenteredMsgBox, CentresOnTheOwnerOrTheWorkArea) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const POINT workCentre{(work.left + work.right) / 2, (work.top + work.bottom) / 2};
    const RECT onScreen{100, 100, 500, 400};
    const struct {
        RECT owner; // empty: none
        DWORD style = WS_VISIBLE;
        const char* title = ""; // shown as given, the product name when empty
        POINT centre;
    } cases[] = {
        {.owner = onScreen, .title = "Restore", .centre = {300, 250}},
        {.owner = {-601, -401, -200, -100}, .centre = {-401, -251}},
        {.owner = {}, .style = 0, .centre = workCentre},
        {.owner = onScreen, .style = WS_VISIBLE | WS_MINIMIZE, .centre = workCentre},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.owner.left) + " " + std::to_string(c.style));
        const RECT& r = c.owner;
        UniqueWindow owner(::IsRectEmpty(&r)
                               ? nullptr
                               : ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | c.style, r.left,
                                                   r.top, r.right - r.left, r.bottom - r.top, 0, 0,
                                                   0, 0));
        testsupport::MsgBoxWatcher watcher("", IDNO);
        int result = MCenterMBX::CenteredMsgBox("Restore the settings?", MB_YESNO | MB_ICONQUESTION,
                                                c.title, owner.get());
        const auto& box = watcher.Result();
        ASSERT_TRUE(box);
        const RECT& b = box->rect;
        EXPECT_EQ(b.left, c.centre.x - (b.right - b.left + 1) / 2);
        EXPECT_EQ(b.top, c.centre.y - (b.bottom - b.top + 1) / 2);
        EXPECT_EQ(box->text, "Restore the settings?");
        EXPECT_EQ(box->title, *c.title ? c.title : "Tavelin");
        EXPECT_EQ(result, IDNO);
        EXPECT_FALSE(MCenterMBX::HookInstalled());
    }
}
