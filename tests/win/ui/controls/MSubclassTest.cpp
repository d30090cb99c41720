#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "ui/controls/MSubclass.h"

namespace {

constexpr UINT kMsg = WM_APP + 1;

std::string g_log; // who ran, in order: the clients by name, P for the previous procedure

struct Client : ISubclass {
    explicit Client(char n) : name(n) {}
    std::int32_t MsgResponse() override { return response; }
    void SetMsgResponse(std::int32_t r) override { response = r; }
    LRESULT WindowProc(HWND, UINT, WPARAM, LPARAM) override {
        g_log += name;
        return name;
    }
    char name;
    std::int32_t response = emrPreprocess;
} a{'A'};

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsg) {
        g_log += 'P';
        return 'P';
    }
    if (msg == WM_DESTROY) // 1 when this procedure is back in place
        g_log = std::to_string(::GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == LONG_PTR(&TestProc));
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

struct SubclassTest : ::testing::Test {
    void SetUp() override {
        hwnd = ::CreateWindowA("STATIC", "", 0, 0, 0, 9, 9, 0, 0, 0, 0);
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TestProc));
        g_log.clear();
    }
    void TearDown() override { ::DestroyWindow(hwnd); }
    LONG_PTR Proc() const { return ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC); }

    HWND hwnd = nullptr;
};

// The client's answer: the previous procedure before it, after it (giving the result) or never.
// The window is as it was once its last hook goes, or once it is destroyed while hooked.
TEST_F(SubclassTest, ClientAnswerDecidesAboutThePreviousProcedure) {
    const struct {
        std::int32_t response;
        const char* order;
        LRESULT result;
    } cases[] = {{.response = emrPreprocess, .order = "PA", .result = 'A'},
                 {.response = emrPostProcess, .order = "AP", .result = 'P'},
                 {.response = emrConsume, .order = "A", .result = 'A'}};
    MSubclass::HookMessage(&a, hwnd, kMsg);
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        a.response = c.response;
        g_log.clear();
        EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), c.result);
        EXPECT_EQ(g_log, c.order);
    }
    MSubclass::UnhookMessage(&a, hwnd, kMsg);
    MSubclass::UnhookMessage(&a, hwnd, kMsg); // nothing left to undo
    EXPECT_NE(Proc(), LONG_PTR(&TestProc)) << "WM_COMMAND is still hooked";
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND);
    EXPECT_EQ(Proc(), LONG_PTR(&TestProc));

    MSubclass::HookMessage(&a, hwnd, WM_COMMAND); // no client for WM_DESTROY
    ::DestroyWindow(hwnd);
    EXPECT_EQ(g_log, "1");
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // the window is gone: silently nothing
}

// WM_NOTIFY from another thread (another process's is passed on as it is, pointer and all)
// reaches neither the client nor the control, which would hand it on to its parent.
TEST_F(SubclassTest, PointerFromAnotherThreadReachesNoOne) {
    MSubclass::HookMessage(&a, hwnd, WM_NOTIFY);
    a.response = emrPostProcess;
    std::atomic<LRESULT> fromOther = -1;
    std::thread other([&] { fromOther = ::SendMessageA(hwnd, WM_NOTIFY, 0, 1); });
    while (fromOther == -1)
        for (MSG msg; ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            ::DispatchMessageA(&msg);
    other.join();
    EXPECT_EQ(g_log, "");
    EXPECT_EQ(fromOther.load(), 0);
    ::SendMessageA(hwnd, WM_NOTIFY, 0, 1);
    EXPECT_EQ(g_log, "A");
}

} // namespace
