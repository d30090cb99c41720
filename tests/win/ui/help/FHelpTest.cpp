#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <richedit.h>

#include <algorithm>
#include <functional>

#include "ui/help/FHelp.h"
#include "win32/MFatal.h"
#include "system/MShellLaunch.h"
#include "win32/Seam.h"
#include "win32/MText.h"
#include "win32/ComPtr.h"
#include "support/MsgBoxWatcher.h"

namespace {

using enum Language;

// Dispatches messages until done() or ms have passed; the control navigates meanwhile.
void Pump(DWORD ms, const std::function<bool()>& done = nullptr) {
    for (DWORD start = ::GetTickCount(); !(done && done()) && ::GetTickCount() - start < ms;)
        if (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        } else {
            ::Sleep(10);
        }
}

// A real key stroke: the key in the low byte, a modifier held with it in the high byte.
constexpr int kCtrl = VK_CONTROL << 8, kAlt = VK_MENU << 8;
void Press(int stroke) {
    const WORD modifier = WORD(stroke >> 8), key = WORD(stroke & 0xFF);
    const std::pair<WORD, DWORD> order[] = {
        {modifier, 0}, {key, 0}, {key, KEYEVENTF_KEYUP}, {modifier, KEYEVENTF_KEYUP}};
    std::vector<INPUT> input;
    for (auto [vk, flags] : order)
        if (vk)
            input.push_back({INPUT_KEYBOARD, {.ki = {vk, 0, flags, 0, 0}}});
    ::SendInput(UINT(input.size()), input.data(), sizeof(INPUT));
    Pump(100);
}

// The key messages that real strokes bring to a window: "+33" key 33 down, "-33" up, "?33" else.
std::string g_arrived;
WNDPROC g_targetProc = nullptr;
LRESULT CALLBACK RecordKeys(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST)
        (g_arrived += msg == WM_KEYDOWN ? '+'
                      : msg == WM_KEYUP ? '-'
                                        : '?') += std::to_string(wParam);
    return ::CallWindowProcW(g_targetProc, hwnd, msg, wParam, lParam);
}
std::string KeysArriving(HWND target, std::vector<int> strokes) {
    g_arrived.clear();
    g_targetProc = WNDPROC(::SetWindowLongPtrW(target, GWLP_WNDPROC, LONG_PTR(&RecordKeys)));
    for (int stroke : strokes)
        Press(stroke);
    ::SetWindowLongPtrW(target, GWLP_WNDPROC, LONG_PTR(g_targetProc));
    return g_arrived;
}

// Whether child covers the client area of parent.
bool FillsClient(HWND parent, HWND child) {
    RECT client = {}, shown = {};
    ::GetClientRect(parent, &client);
    ::GetWindowRect(child, &shown);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&shown), 2);
    return ::EqualRect(&shown, &client);
}

// Whatever the help window reports fails the running test.
const Seam<MFatal::Calls>::Override g_failOnReport({[](const AppError& e) {
    ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
}});

// Browser controls played: none (as on Windows Server Core), one that is never asked for its
// page and reports nothing, one that refuses the page.
const auto kNoControl = [](IOleObject** control) noexcept {
    *control = nullptr;
    return REGDB_E_CLASSNOTREG;
};
const auto kUnasked = [](IWebBrowser2*, const wchar_t*) noexcept { return S_OK; };
const HelpBrowserCalls kSilent{.navigate = kUnasked, .documentWaitMs = 60000}; // for a minute
const auto kRefused = [](IWebBrowser2*, const wchar_t*) noexcept { return E_ACCESSDENIED; };

// The text view the help window shows, none while it shows none.
HWND TextView(const FHelp& help) {
    wchar_t cls[32] = {};
    HWND child = help.Hwnd() ? ::GetWindow(help.Hwnd(), GW_CHILD) : nullptr;
    return child && ::GetClassNameW(child, cls, 32) && cls == std::wstring(RICHEDIT_CLASSW)
               ? child
               : nullptr;
}

// Raises a browser event at the control's sinks, the arguments in declared order; false: none.
bool RaiseBrowserEvent(IWebBrowser2* browser, DISPID id, std::vector<VARIANT> args) {
    ComPtr<IConnectionPoint> point;
    ComPtr<IEnumConnections> sinks;
    ComPtr<IWebBrowser2>::Share(browser).As<IConnectionPointContainer>()->FindConnectionPoint(
        DIID_DWebBrowserEvents2, point.put());
    if (!point || FAILED(point->EnumConnections(sinks.put())) || !sinks)
        return false;
    std::reverse(args.begin(), args.end());
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    bool raised = false;
    // Wine 8's enumerator hands out the sink without a reference of its own (measured: releasing
    // it frees the sink); Windows adds one, which a test may keep.
    for (CONNECTDATA c{}; sinks->Next(1, &c, nullptr) == S_OK; raised = true)
        ComPtr<IUnknown>::Share(c.pUnk).As<IDispatch>()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD,
                                                                &params, nullptr, nullptr, nullptr);
    return raised;
}

// A variant of the type given, its pointer (if any) in the field that type reads.
VARIANT Variant(VARTYPE vt, void* pointer = nullptr) {
    VARIANT v{};
    v.vt = vt;
    v.byref = pointer;
    return v;
}

// A window's whole text, paragraphs ended with "\n".
std::string FullText(HWND hwnd) {
    std::wstring text(size_t(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(hwnd, text.data(), int(text.size()))));
    std::erase(text, L'\r');
    return MText::WideToUtf8(text);
}

} // namespace

// Before any page (the caption: end to end), the site forbids the context menu; only the scrolling
// keys reach the control; Alt+F4 closes the window.
TEST(FHelp, WithoutADocumentLockedDownPassesOnlyTheScrollingKeysAndCloses) {
    Seam<HelpBrowserCalls>::Override silent(kSilent);
    FHelp help(German);
    help.Show();
    HWND hwnd = help.Hwnd();
    Pump(300);
    ComPtr<IOleClientSite> site;
    ComPtr<IWebBrowser2>::Share(help.Browser()).As<IOleObject>()->GetClientSite(site.put());
    ComPtr<IDocHostUIHandler> host = site.As<IDocHostUIHandler>();
    ASSERT_TRUE(host);
    POINT at = {10, 10};
    EXPECT_EQ(host->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr), S_OK);
    // As Windows' control asks (Wine's does not: the key filter, tested on the text, comes
    // first): S_OK swallows the key.
    for (WPARAM key : {WPARAM('P'), WPARAM(VK_NEXT)}) {
        MSG msg{nullptr, WM_KEYDOWN, key, 0, 0, {}};
        EXPECT_EQ(host->TranslateAccelerator(&msg, nullptr, 0), key == VK_NEXT ? S_FALSE : S_OK);
    }
    Press(kAlt | VK_F4);
    Pump(200);
    EXPECT_FALSE(help.IsLoaded());
    EXPECT_FALSE(::IsWindow(hwnd));
}

// Only the page's own links open, as the page spells them; an address box where the shell fails.
TEST(FHelp, OnlyThePagesOwnLinksOpenAfterTheBrowserEvent) {
    Seam<HelpBrowserCalls>::Override silent(kSilent);
    FHelp help(German);
    std::vector<std::string> opened;
    Seam<MShellLaunch::Calls>::Override fake(
        {.shellIdentity = [] { return std::nullopt; }, // the desktop shell's route
         .desktopShell =
             [&](const MShellLaunch::Launch& l) {
                 opened.push_back(l.operation + " " + l.file + " " + std::to_string(l.showCommand));
                 return l.file.starts_with("mailto:") ? REGDB_E_CLASSNOTREG : S_OK;
             }});
    help.Show();
    Pump(200);
    testsupport::MsgBoxWatcher box("Tavelin", IDOK);
    for (const wchar_t* url :
         {L"HTTPS://Tavelin.example.org/", L"https://tavelin.example.org/setup.exe",
          L"mailto:someone@attacker.example", L"mailto:info@tavelin.example.org"}) {
        Bstr text(url);
        VARIANT target{}, none{};
        target.vt = VT_BSTR;
        target.bstrVal = text;
        help.Browser()->Navigate2(&target, &none, &none, &none, &none);
    }
    Pump(2000, [&] { return opened.size() == 2; });
    EXPECT_EQ(opened, (std::vector<std::string>{"open https://tavelin.example.org 1",
                                                "open mailto:info@tavelin.example.org 1"}));
    // The address on a line of its own, in the window's language (Ctrl+C is Windows' own).
    ASSERT_TRUE(box.Result());
    EXPECT_NE(box.Result()->text.find("\r\nmailto:info@tavelin.example.org\r\n"),
              std::string::npos);
    EXPECT_NE(box.Result()->text.find("Strg+C"), std::string::npos) << box.Result()->text;

    // Shift+click: never a second browser of this elevated process, only the own link opened
    // outside it (Wine's control raises no such event).
    opened.clear();
    for (const wchar_t* url : {L"https://attacker.example/", L"https://tavelin.example.org"}) {
        VARIANT_BOOL cancel[2] = {VARIANT_FALSE, VARIANT_FALSE};
        IDispatch* none = nullptr;
        Bstr urlText(url);
        const VARIANT disp = Variant(VT_BYREF | VT_DISPATCH, &none);
        ASSERT_TRUE(RaiseBrowserEvent(help.Browser(), DISPID_NEWWINDOW2,
                                      {disp, Variant(VT_BYREF | VT_BOOL, &cancel[0])}));
        RaiseBrowserEvent(help.Browser(), DISPID_NEWWINDOW3,
                          {disp, Variant(VT_BYREF | VT_BOOL, &cancel[1]), Variant(VT_I4),
                           Variant(VT_BSTR), Variant(VT_BSTR, static_cast<BSTR>(urlText))});
        EXPECT_TRUE(cancel[0]) << MText::WideToUtf8(url);
        EXPECT_TRUE(cancel[1]) << MText::WideToUtf8(url);
    }
    Pump(2000, [&] { return !opened.empty(); });
    EXPECT_EQ(opened, std::vector<std::string>{"open https://tavelin.example.org 1"});
}

// Where the browser control shows no page, the page's text shows instead and nothing is reported.
// (A failed page, Wine's own without an HTML engine: the end-to-end help picture case.)
TEST(FHelp, TextTakesThePlaceOfABrowserControlWithoutPage) {
    const struct {
        const char* name;
        Language lang;
        HelpBrowserCalls calls;
        bool atLoad = false; // shown before any message is handled
    } cases[] = {
        {.name = "no control", .lang = German, .calls = {.create = kNoControl}, .atLoad = true},
        {.name = "page refused", .lang = English, .calls = {.navigate = kRefused}, .atLoad = true},
        {.name = "silent", .lang = English, .calls = {.navigate = kUnasked, .documentWaitMs = 300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Seam<HelpBrowserCalls>::Override calls(c.calls);
        FHelp help(c.lang);
        help.Load();
        EXPECT_EQ(TextView(help) != nullptr, c.atLoad);
        help.Show();
        Pump(testsupport::Scaled(5000), [&] { return TextView(help) != nullptr; });
        HWND view = TextView(help);
        ASSERT_TRUE(view);
        EXPECT_FALSE(help.Browser());
        const std::string text = FullText(view);
        EXPECT_NE(text.find(Pick<std::string>(c.lang, "Tavelin ändert", "Tavelin changes")),
                  std::string::npos)
            << text;
    }
}

// The text reads as the page (eight bulleted items, the addresses filled in), read-only, focused at
// its start; of real keys only those that move through, select and copy it reach it.
TEST(FHelp, TextReadsAsThePageAndTakesOnlyReadingKeys) {
    Seam<HelpBrowserCalls>::Override none({.create = kNoControl});
    FHelp help(English);
    help.Show();
    HWND hwnd = help.Hwnd();
    // Smaller than the text, so that there is something to scroll.
    ::SetWindowPos(hwnd, nullptr, 0, 0, 420, 220, SWP_NOMOVE | SWP_NOZORDER);
    ::SetForegroundWindow(hwnd);
    Pump(200);
    HWND view = TextView(help);
    ASSERT_TRUE(view);
    EXPECT_TRUE(FillsClient(hwnd, view)) << "the text follows the window's size";
    EXPECT_EQ(::GetFocus(), view);
    EXPECT_EQ(::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_TRUE(::GetWindowLongW(view, GWL_STYLE) & ES_READONLY);
    const std::string text = FullText(view);
    size_t bullets = 0;
    for (size_t at = 0; (at = text.find("\n\u2022\t", at + 1)) != std::string::npos;)
        ++bullets;
    EXPECT_EQ(bullets, 8u);
    EXPECT_NE(text.find(" - https://tavelin.example.org - info@tavelin.example.org"),
              std::string::npos)
        << text;

    EXPECT_EQ(KeysArriving(view, {'A', VK_TAB, VK_DELETE, VK_BACK, VK_RETURN, kCtrl | 'V',
                                  kCtrl | 'X', kCtrl | 'Z', kCtrl | 'L', kCtrl | 'O', VK_F5}),
              "");
    EXPECT_EQ(::GetFocus(), view);
    // Ctrl itself goes nowhere; its letters and their characters (1, 3) reach the view.
    EXPECT_EQ(KeysArriving(view, {VK_NEXT, VK_DOWN, VK_END, VK_HOME, kCtrl | 'A', kCtrl | 'C'}),
              "+34-34+40-40+35-35+36-36+65?1-65+67?3-67");
    Press(VK_NEXT);
    EXPECT_GT(::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    Press(kAlt | VK_F4);
    Pump(200);
    EXPECT_FALSE(::IsWindow(hwnd));
}
