#include <gtest/gtest.h>

#include "win32/Handles.h"
#include "ui/msgbox/MCenterMBX.h"
#include "support/MsgBoxWatcher.h"

// The real box lands on the owner's centre (also left of and above the primary screen), else on
// the work area's; an empty title shows the product name; no hook stays.
TEST(CenteredMsgBox, CentresOnTheOwnerOrTheWorkArea) {
    // The work area is moved off the screen's centre, where the system would put an ownerless
    // box by itself (Wine centres on the monitor), so that only the hook can land it there.
    RECT screen{},
        work{0, 0, ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    ASSERT_TRUE(::SystemParametersInfoW(SPI_SETWORKAREA, 0, &work, 0));
    struct RestoreWorkArea {
        RECT r;
        ~RestoreWorkArea() { ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &r, 0); }
    } restore{screen};
    const POINT workCentre{(work.left + work.right) / 2, (work.top + work.bottom) / 2};
    // Halves round down, also left of and above the primary screen (an odd box, seldom real).
    const POINT o =
        MCenterMBX::OriginFor(MCenterMBX::CentreOf({-601, -401, -200, -100}), {5, 5, 8, 10});
    EXPECT_EQ(std::pair(o.x, o.y), std::pair(-403L, -254L));
    // The owner (empty: none), its style, the title given, the centre, the title shown.
    const std::tuple<RECT, DWORD, const char*, POINT, const char*> cases[] = {
        {{100, 100, 500, 400}, WS_VISIBLE, "Restore", {300, 250}, "Restore"},
        {{-601, -401, -200, -100}, WS_VISIBLE, "", {-401, -251}, "Tavelin"},
        {{}, 0, "", workCentre, "Tavelin"},
        {{100, 100, 500, 400}, 0, "Restore", workCentre, "Restore"},
        {{100, 100, 500, 400}, WS_VISIBLE | WS_MINIMIZE, "", workCentre, "Tavelin"},
    };
    for (const auto& [r, style, given, centre, shown] : cases) {
        SCOPED_TRACE(std::to_string(r.left) + " " + std::to_string(style));
        UniqueWindow owner(::IsRectEmpty(&r)
                               ? nullptr
                               : ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | style, r.left,
                                                   r.top, r.right - r.left, r.bottom - r.top,
                                                   nullptr, nullptr, nullptr, nullptr));
        testsupport::MsgBoxWatcher watcher("", IDNO);
        int result = MCenterMBX::CenteredMsgBox("Restore the settings?", MB_YESNO | MB_ICONQUESTION,
                                                given, owner.get());
        const auto& box = watcher.Result();
        ASSERT_TRUE(box);
        const RECT& b = box->rect;
        EXPECT_EQ(std::pair(b.left, b.top), std::pair(centre.x - (b.right - b.left + 1) / 2,
                                                      centre.y - (b.bottom - b.top + 1) / 2));
        EXPECT_EQ(std::tuple(box->text, box->title, result, MCenterMBX::HookInstalled()),
                  std::tuple("Restore the settings?", shown, IDNO, false));
    }
}
