#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "win32/BaseWindow.h"

namespace {

std::vector<AppError> g_reported;
void Record(const AppError& e) {
    g_reported.push_back(e);
}

// Records what reaches the object; throws on WM_USER to prove the guard.
class Probe : public BaseWindow<Probe> {
  public:
    static const wchar_t* ClassName() { return L"TavelinBaseWindowProbe"; }
    HWND Create() {
        return CreateWin("win32_tests.Probe", 0, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr);
    }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        seen.push_back(msg);
        if (msg == WM_USER)
            throw std::runtime_error("handler failed");
        if (msg == WM_USER + 1)
            return 42;
        return Default(msg, wParam, lParam);
    }
    std::vector<UINT> seen;
};

} // namespace

// The object sees its window from WM_NCCREATE to WM_NCDESTROY and nothing after; a failing
// handler reaches the fatal-error handler instead of Windows; two windows share one class.
TEST(BaseWindowTest, AttachesGuardsAndDetaches) {
    FatalHandler previous = SetFatalHandler(&Record);
    Probe first, second;
    HWND a = first.Create(), b = second.Create();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(first.Hwnd(), a);
    EXPECT_EQ(first.seen.front(), static_cast<UINT>(WM_NCCREATE));

    EXPECT_EQ(::SendMessageW(a, WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(::SendMessageW(a, WM_USER, 0, 0), 0);
    ASSERT_EQ(g_reported.size(), 1u);
    EXPECT_EQ(g_reported[0].Description(), "handler failed");

    ::DestroyWindow(a);
    EXPECT_EQ(first.Hwnd(), nullptr);
    EXPECT_EQ(first.seen.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(::GetWindowLongPtrW(b, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&second));
    ::DestroyWindow(b);
    SetFatalHandler(previous);
}
