#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "FHelp.h"
#include "Fatal.h"
#include "Text.h"

namespace {

std::vector<AppError> g_reported;
void Record(const AppError& e) {
    g_reported.push_back(e);
}

struct FHelpTest : ::testing::Test {
    void SetUp() override {
        g_reported.clear();
        previous = SetFatalHandler(&Record);
    }
    void TearDown() override {
        SetFatalHandler(previous);
        for (const AppError& e : g_reported)
            ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
    }
    FatalHandler previous = nullptr;
};

// Lets the browser control run its navigation (under Wine: ending in NavigateError).
void Pump(DWORD ms) {
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

RECT ClientRectOf(HWND hwnd) {
    RECT r = {};
    ::GetClientRect(hwnd, &r);
    return r;
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
    RECT r = {};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool operator==(const RECT& a, const RECT& b) {
    return ::EqualRect(&a, &b) != FALSE;
}

std::string Text(HWND hwnd) {
    wchar_t buf[256] = {};
    ::GetWindowTextW(hwnd, buf, 256);
    return WideToUtf8(buf);
}

} // namespace

// Under Wine the blank page never arrives: the window must still open, follow resizes and close,
// and do so again.
TEST_F(FHelpTest, LivesThroughLoadShowResizeAndCloseWithoutADocument) {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        FHelp help("EN");
        help.Load();
        HWND hwnd = help.Hwnd();
        ASSERT_TRUE(::IsWindow(hwnd));
        EXPECT_FALSE(::IsWindowVisible(hwnd));
        help.Load();
        EXPECT_EQ(help.Hwnd(), hwnd);

        HDC screen = ::GetDC(nullptr);
        int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
        ::ReleaseDC(nullptr, screen);
        RECT client = ClientRectOf(hwnd);
        EXPECT_EQ(client.right, ::MulDiv(8265, dpi, 1440));
        EXPECT_EQ(client.bottom, ::MulDiv(5205, dpi, 1440));

        RECT before = {}, after = {};
        ::GetWindowRect(hwnd, &before);
        help.Move(-107, 40);
        ::GetWindowRect(hwnd, &after);
        EXPECT_EQ(after.left, -107);
        EXPECT_EQ(after.top, 40);
        EXPECT_EQ(after.right - after.left, before.right - before.left);
        EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

        help.Show(owner);
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), owner);
        Pump(300);

        ::SetWindowPos(hwnd, nullptr, 0, 0, 700, 450, SWP_NOMOVE | SWP_NOZORDER);
        Pump(50);
        client = ClientRectOf(hwnd);
        EXPECT_GT(client.right, ::MulDiv(8265, dpi, 1440));
        EXPECT_TRUE(help.BrowserRect() == client);
        HWND control = ::GetWindow(hwnd, GW_CHILD);
        ASSERT_TRUE(control);
        EXPECT_TRUE(RectInParent(control) == client);

        if (round == 0) {
            help.Unload();
        } else {
            // The close box unloads the window as well.
            ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        EXPECT_FALSE(help.IsLoaded());
        EXPECT_FALSE(::IsWindow(hwnd));
        Pump(50);
    }
    ::DestroyWindow(owner);
}

TEST_F(FHelpTest, CaptionFollowsTheLanguage) {
    struct Case {
        const char* lang;
        const char* caption;
    } cases[] = {{"DE", "Tavelin 2.0.4 - Hilfe"}, {"EN", "Tavelin 2.0.4 - Help"}, {"FR", ""}};
    for (const Case& c : cases) {
        FHelp help(c.lang);
        help.Load();
        EXPECT_EQ(Text(help.Hwnd()), c.caption) << c.lang;
    }
}
