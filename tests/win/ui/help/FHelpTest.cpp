#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ui/help/FHelp.h"
#include "win32/Fatal.h"
#include "win32/Text.h"

namespace {

// Lets the browser control run its navigation (under Wine: ending in NavigateError).
void Pump(DWORD ms) {
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < ms; ::Sleep(10)) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

} // namespace

// Under Wine the blank page never arrives: the window must still open with its caption, follow
// resizes and close (by Unload, then by its close box), and do so again.
TEST(FHelp, LivesThroughShowResizeAndCloseWithoutADocument) {
    const FatalHandler previous = SetFatalHandler([](const AppError& e) {
        ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
    });
    for (const char* lang : {"DE", "EN"}) {
        SCOPED_TRACE(lang);
        FHelp help(lang);
        help.Show();
        HWND hwnd = help.Hwnd();
        ASSERT_TRUE(::IsWindowVisible(hwnd));
        wchar_t caption[64] = {};
        ::GetWindowTextW(hwnd, caption, 64);
        EXPECT_EQ(WideToUtf8(caption),
                  lang == std::string("DE") ? "Tavelin 2.0.4 - Hilfe" : "Tavelin 2.0.4 - Help");
        Pump(300);

        ::SetWindowPos(hwnd, nullptr, 0, 0, 700, 450, SWP_NOMOVE | SWP_NOZORDER);
        Pump(50);
        RECT client = {}, control = {};
        ::GetClientRect(hwnd, &client);
        EXPECT_GT(client.right, 600);
        const RECT browser = help.BrowserRect();
        EXPECT_TRUE(::EqualRect(&browser, &client));
        ::GetWindowRect(::GetWindow(hwnd, GW_CHILD), &control);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&control), 2);
        EXPECT_TRUE(::EqualRect(&control, &client));

        if (lang == std::string("DE"))
            help.Unload();
        else
            ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
        EXPECT_FALSE(help.IsLoaded());
        EXPECT_FALSE(::IsWindow(hwnd));
        Pump(50);
    }
    SetFatalHandler(previous);
}
