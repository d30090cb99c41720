// The icon drop-down list under Wine's real ComboBoxEx32, as the main window uses it.
#include <gtest/gtest.h>

#include "ui/controls/MivoCboEx.h"
#include "win32/Fatal.h"
#include "win32/Seam.h"

namespace {

// Whatever the control reports fails the running test (installed once, before any test runs).
const Seam<FatalCalls>::Override g_failOnReport({[](const AppError& e) {
    ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
}});

int g_okCommands = 0; // WM_COMMAND IDOK that reached the host window

// Stored as the main window's key lists are: drop-down list, 8.25-point "MS Sans Serif".
MivoCboExProps DropDownList() {
    MivoCboExProps bag;
    bag.Write(MivoCboExKey::Style, std::int32_t{2});
    bag.Write(MivoCboExKey::Font, MivoFont{});
    return bag;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_okCommands += msg == WM_COMMAND && LOWORD(wParam) == IDOK;
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Empties the queue as the owner's loop does, with dialog navigation.
void Pump(HWND dialog) {
    for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) {
        if (::IsDialogMessageW(dialog, &m))
            continue;
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

struct ComboTest : ::testing::Test {
    void SetUp() override {
        g_okCommands = 0;
        WNDCLASSW wc{};
        wc.lpfnWndProc = &HostProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ComboTestHost";
        ::RegisterClassW(&wc);
        host = ::CreateWindowExW(0, L"ComboTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                 0, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
        button = ::CreateWindowExW(
            0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 200, 80,
            24, host, reinterpret_cast<HMENU>(IDOK), wc.hInstance, nullptr);
        combo = std::make_unique<MivoCboEx>(host, 10, 10, 300, 22, DropDownList());
        combo->AddItemAndData("Feststelltaste", 0, 0, 10);
        combo->AddItemAndData("Einfg", 1, 1, 20);
        combo->AddItemAndData("Rollen", 2, 2, 30);
    }
    void TearDown() override {
        combo.reset();
        ::DestroyWindow(host);
    }

    HWND host = nullptr, button = nullptr;
    std::unique_ptr<MivoCboEx> combo;
};

// Destroyed with the parent, the control lets go of its inner windows (no dead handle destroyed
// later) and has no selection (not a dead window's 0). Picking by keys and ItemData: e2e.
TEST_F(ComboTest, InnerWindowsGoWithTheParent) {
    combo->SetListIndex(1);
    ::DestroyWindow(std::exchange(host, nullptr));
    EXPECT_EQ(combo->hwnd(), HWND{});
    EXPECT_EQ(combo->ListIndex(), -1);
}

// With the focus on the list (from the first key), dialog navigation leaves these keys to it (else
// Enter would press the default button); Tab moves on.
TEST_F(ComboTest, DialogNavigationLeavesTheListItsKeys) {
    std::vector<WPARAM> seen;
    combo->OnKeyDown = [&](std::int32_t& key, std::int32_t) { seen.push_back(key); };
    const std::vector<WPARAM> keys{VK_RETURN, VK_PRIOR, VK_NEXT,  VK_HOME, VK_END,
                                   VK_LEFT,   VK_UP,    VK_RIGHT, VK_DOWN};
    for (WPARAM key : keys) {
        ::SetFocus(combo->hwnd());
        ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, key, 1);
        Pump(host);
    }
    EXPECT_EQ(seen, keys);
    EXPECT_EQ(g_okCommands, 0);
    EXPECT_EQ(::GetFocus(), combo->hWndCombo());
    ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, VK_TAB, 1);
    Pump(host);
    EXPECT_EQ(::GetFocus(), button);
}

// The open list's background follows the system colours, also changed after creation.
TEST_F(ComboTest, OpenListColouredAsTheSystem) {
    combo->ShowDropDown(true); // the colours are hooked at the first opening
    Pump(host);
    combo->ShowDropDown(false);
    const int element = COLOR_WINDOW;
    const COLORREF before = ::GetSysColor(element), changed = RGB(12, 34, 56);
    ASSERT_TRUE(::SetSysColors(1, &element, &changed));
    WindowDc dc(combo->hWndComboEx());
    const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
        combo->hWndComboEx(), WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc.get()), 0));
    LOGBRUSH lb{};
    ::GetObjectW(brush, sizeof lb, &lb);
    ::SetSysColors(1, &element, &before);
    EXPECT_EQ(lb.lbColor, changed);
}

// Fitted as the main window does: items as tall as the icons, the field whole, room for eight.
TEST_F(ComboTest, ItemsTakeTheIconsHeightAndTheOpenListEight) {
    const UniqueImageList icons(::ImageList_Create(44, 30, ILC_COLOR24 | ILC_MASK, 1, 1));
    ::ImageList_SetImageCount(icons.get(), 1);
    MivoCboEx cbo(host, 0, 0, 100, 300, 22, DropDownList(), icons.get());
    cbo.FitHeightToField();
    const auto item = ::SendMessageW(cbo.hWndComboEx(), CB_GETITEMHEIGHT, 0, 0);
    RECT client{}, field{}, open{};
    ::GetClientRect(cbo.hwnd(), &client);
    ::GetWindowRect(cbo.hWndCombo(), &field);
    ::SendMessageW(cbo.hWndCombo(), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&open));
    EXPECT_GE(item, 30);
    EXPECT_LE(field.bottom - field.top, client.bottom);
    EXPECT_GE(open.bottom - open.top, 8 * item);
}

} // namespace
