#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "win32/BaseWindow.h"
#include "win32/Handles.h"
#include "win32/ProcessIdentity.h"
#include "win32/ErrorSource.h"

namespace {

std::vector<AppError> g_reported;
const FatalHandler g_previous = SetFatalHandler([](const AppError& e) { g_reported.push_back(e); });

constexpr ErrorSource kProbeSource = ModuleSource("Probe");

// Records what reaches the object, in a log that outlives it; throws on WM_USER to prove the
// guard.
class Probe : public BaseWindow<Probe> {
  public:
    explicit Probe(std::vector<UINT>& log) : seen(log) {}
    static const wchar_t* ClassName() { return L"TavelinBaseWindowProbe"; }
    HWND Create() { return CreateWin(kProbeSource, 0, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr); }
    using BaseWindow::Destroy;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        seen.push_back(msg);
        if (msg == WM_USER)
            throw std::runtime_error("handler failed");
        return msg == WM_USER + 1 ? 42 : Default(msg, wParam, lParam);
    }
    std::vector<UINT>& seen;
};

} // namespace

// Whatever a callback throws reaches the handler as one AppError, and nothing unwinds further.
TEST(Win32, GuardedBodiesReportEveryKindOfException) {
    g_reported.clear();
    EXPECT_FALSE(RunGuarded([] { throw AppError(381, "x.MivoComboEx", ""); }) ||
                 RunGuarded([] { throw std::runtime_error("boom"); }) ||
                 RunGuarded([] { throw 42; }) || !RunGuarded([] {}));
    ASSERT_EQ(g_reported.size(), 3u);
    EXPECT_EQ(DisplayText(g_reported[0]), "Invalid property array index");
    EXPECT_EQ(std::pair(g_reported[1].Description(), g_reported[1].Source()),
              std::pair(std::string("boom"), ExeName()));
    EXPECT_EQ(g_reported[2].Source(), "win32_tests");
}

// The object sees its window from WM_NCCREATE to WM_NCDESTROY and nothing after; a failing
// handler reaches the fatal-error handler instead of Windows; two windows share one class. A
// window goes with its object, which sees nothing of that end: its own part is gone by then.
TEST(Win32, WindowAttachesGuardsAndDetaches) {
    g_reported.clear();
    std::vector<UINT> firstLog, secondLog;
    Probe first(firstLog);
    HWND a = first.Create(), b = nullptr;
    {
        Probe second(secondLog);
        b = second.Create();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(std::pair(first.Hwnd(), firstLog.front()), std::pair(a, UINT(WM_NCCREATE)));
        EXPECT_EQ(::SendMessageW(a, WM_USER + 1, 0, 0), 42);
        EXPECT_EQ(::SendMessageW(a, WM_USER, 0, 0), 0);
        ASSERT_EQ(g_reported.size(), 1u);
        EXPECT_EQ(g_reported[0].Description(), "handler failed");
        first.Destroy();
        EXPECT_EQ(std::pair(first.Hwnd(), firstLog.back()), std::pair(HWND{}, UINT(WM_NCDESTROY)));
        EXPECT_EQ(::GetWindowLongPtrW(b, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&second));
    }
    EXPECT_FALSE(::IsWindow(b));
    EXPECT_EQ(std::count(secondLog.begin(), secondLog.end(), UINT(WM_DESTROY)), 0);
}

// Who runs a process, read for real from the tokens: this program, a window of its own, and the
// desktop window, which belongs to another process (Wine's explorer.exe, run by the same user at
// the same level); nothing for no window.
TEST(Win32, ProcessIdentityFromTheTokens) {
    const auto self = IdentityOfThisProcess();
    ASSERT_TRUE(self && self->user.size() >= 12 && self->integrity);
    UniqueWindow own(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                       nullptr, nullptr, nullptr));
    DWORD desktopOwner = 0;
    ::GetWindowThreadProcessId(::GetDesktopWindow(), &desktopOwner);
    ASSERT_NE(desktopOwner, ::GetCurrentProcessId());
    for (HWND window : {own.get(), ::GetDesktopWindow()})
        EXPECT_TRUE(SameTrust(IdentityOfWindow(window), self, true)) << window;
    EXPECT_EQ(IdentityOfWindow(nullptr), std::nullopt);
}
