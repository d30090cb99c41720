#include <gtest/gtest.h>

#include <windows.h>
#include <exdisp.h>
#include <mshtmdid.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

#include "FHelp.h"
#include "Fatal.h"
#include "ShellLaunch.h"
#include "Text.h"
#include "help/ComPtr.h"

namespace {

// The window the message being dispatched is for.
HWND g_dispatching = nullptr;

// Dispatches queued messages one by one until done() or ms have passed.
template <typename Done> void PumpUntil(DWORD ms, Done done) {
    for (DWORD start = ::GetTickCount(); !done() && ::GetTickCount() - start < ms;) {
        MSG msg;
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::Sleep(10);
            continue;
        }
        ::TranslateMessage(&msg);
        g_dispatching = msg.hwnd;
        ::DispatchMessageW(&msg);
        g_dispatching = nullptr;
    }
}

// Lets the browser control run its navigation (under Wine: ending in NavigateError).
void Pump(DWORD ms) {
    PumpUntil(ms, [] { return false; });
}

// Real key strokes: each entry is a virtual key, pressed in order and released in reverse.
void Press(std::vector<WORD> keys) {
    std::vector<INPUT> input;
    for (WORD vk : keys)
        input.push_back({INPUT_KEYBOARD, {.ki = {vk, 0, 0, 0, 0}}});
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        input.push_back({INPUT_KEYBOARD, {.ki = {*it, 0, KEYEVENTF_KEYUP, 0, 0}}});
    ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
    Pump(100);
}

// What reached the browser control's window.
std::vector<std::string> g_arrived;
WNDPROC g_controlProc = nullptr;
LRESULT CALLBACK RecordKeys(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST)
        g_arrived.push_back(std::to_string(msg) + ":" + std::to_string(wParam));
    return ::CallWindowProcW(g_controlProc, hwnd, msg, wParam, lParam);
}

struct FailOnReport {
    FatalHandler previous = SetFatalHandler([](const AppError& e) {
        ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
    });
    ~FailOnReport() { SetFatalHandler(previous); }
};

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

// What the control learns from its site, asked the way the control asks it.
TEST(FHelp, SiteForbidsScriptControlsDropsAndContextMenu) {
    FailOnReport failOnReport;
    FHelp help("EN");
    help.Load();
    ASSERT_TRUE(help.Browser());
    VARIANT_BOOL drop = VARIANT_TRUE;
    help.Browser()->get_RegisterAsDropTarget(&drop);
    EXPECT_EQ(drop, VARIANT_FALSE);

    ComPtr<IOleClientSite> site;
    ComPtr<IWebBrowser2>::Share(help.Browser()).As<IOleObject>()->GetClientSite(site.put());
    ComPtr<IDispatch> ambient = site.As<IDispatch>();
    ASSERT_TRUE(ambient);
    VARIANT value;
    ::VariantInit(&value);
    DISPPARAMS none = {};
    ASSERT_EQ(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                              &value, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(value.vt, VT_I4);
    const long required = DLCTL_NO_SCRIPTS | DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS |
                          DLCTL_NO_DLACTIVEXCTLS | DLCTL_NO_BEHAVIORS | DLCTL_SILENT;
    EXPECT_EQ(value.lVal & required, required);
    EXPECT_EQ(value.lVal & (DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS), 0);

    ComPtr<IDocHostUIHandler> host = site.As<IDocHostUIHandler>();
    ASSERT_TRUE(host);
    POINT at = {10, 10};
    EXPECT_EQ(host->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr), S_OK);
    // S_OK: swallowed before the control's own accelerators; S_FALSE: left to the control.
    const std::pair<MSG, HRESULT> keys[] = {
        {{nullptr, WM_KEYDOWN, 'O'}, S_OK},        {{nullptr, WM_KEYDOWN, 'N'}, S_OK},
        {{nullptr, WM_KEYDOWN, 'P'}, S_OK},        {{nullptr, WM_KEYDOWN, VK_F5}, S_OK},
        {{nullptr, WM_SYSKEYDOWN, VK_LEFT}, S_OK}, {{nullptr, WM_KEYDOWN, VK_TAB}, S_OK},
        {{nullptr, WM_KEYDOWN, VK_NEXT}, S_FALSE}, {{nullptr, WM_KEYDOWN, VK_DOWN}, S_FALSE},
    };
    for (auto [msg, expected] : keys)
        EXPECT_EQ(host->TranslateAccelerator(&msg, nullptr, 0), expected)
            << msg.message << " " << msg.wParam;
}

// Real keys with the window in front: the focus is in the control, only the scrolling keys get
// there, and Alt+F4 still closes the window.
TEST(FHelp, OnlyTheScrollingKeysReachTheControl) {
    FailOnReport failOnReport;
    FHelp help("EN");
    help.Show();
    ::SetForegroundWindow(help.Hwnd());
    Pump(200);
    const HWND control = ::GetFocus();
    ASSERT_TRUE(control && control != help.Hwnd() && ::IsChild(help.Hwnd(), control));
    g_controlProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordKeys)));

    const std::vector<std::vector<WORD>> blocked = {
        {VK_CONTROL, 'O'},
        {VK_CONTROL, 'N'},
        {VK_CONTROL, 'P'},
        {VK_CONTROL, 'L'},
        {VK_F5},
        {VK_CONTROL, 'R'},
        {VK_CONTROL, VK_F5},
        {VK_TAB},
        {'A'},
        {VK_BACK},
        {VK_MENU, VK_LEFT},
    };
    for (const auto& keys : blocked)
        Press(keys);
    EXPECT_EQ(g_arrived, std::vector<std::string>{});
    Press({VK_NEXT});
    Press({VK_DOWN});
    const std::string down = std::to_string(WM_KEYDOWN) + ":", up = std::to_string(WM_KEYUP) + ":";
    EXPECT_EQ(g_arrived,
              (std::vector<std::string>{down + "34", up + "34", down + "40", up + "40"}));

    Press({VK_MENU, VK_F4});
    Pump(200);
    EXPECT_FALSE(help.IsLoaded());
    g_arrived.clear();
}

// A link leaves the browser event and opens from the help window's own queue; a link still
// queued when the window closes goes with it. (Wine raises the event from a task of its own after
// Navigate2 has returned.)
TEST(FHelp, LinksOpenAfterTheBrowserEventHasReturned) {
    FailOnReport failOnReport;
    FHelp help("DE");
    std::vector<std::string> opened;
    ShellLaunch::ScopedCalls scoped(
        {[] { return 6u; }, [] { return ShellLaunch::Elevation::Full; },
         [](const ShellLaunch::Launch&) { ADD_FAILURE(); },
         [&](const ShellLaunch::Launch& l) {
             opened.push_back((g_dispatching == help.Hwnd() ? "" : "in event ") + l.operation +
                              " " + l.file + " " + std::to_string(l.showCommand));
             return S_OK;
         },
         [](const ShellLaunch::Launch&, HWND, const std::string&) { ADD_FAILURE(); }});
    auto navigate = [&](const wchar_t* url) {
        VARIANT target, none;
        ::VariantInit(&none);
        ::VariantInit(&target);
        Bstr text(url);
        target.vt = VT_BSTR;
        target.bstrVal = text;
        help.Browser()->Navigate2(&target, &none, &none, &none, &none);
    };
    help.Show();
    Pump(200);
    for (const wchar_t* url : {L"https://tavelin.example.org/", L"javascript:alert(1)",
                               L"mailto:info@tavelin.example.org", L"file:///C:/windows/win.ini"})
        navigate(url);
    Pump(300);
    EXPECT_EQ(opened, (std::vector<std::string>{"open https://tavelin.example.org/ 1",
                                                "open mailto:info@tavelin.example.org 1"}));

    opened.clear();
    navigate(L"https://tavelin.example.org/later");
    PumpUntil(2000, [&] {
        MSG waiting;
        return ::PeekMessageW(&waiting, help.Hwnd(), WM_APP, 0xBFFF, PM_NOREMOVE) != FALSE;
    });
    help.Unload();
    Pump(300);
    EXPECT_EQ(opened, std::vector<std::string>{});
}
