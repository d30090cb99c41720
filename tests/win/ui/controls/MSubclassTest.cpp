#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "ui/controls/MSubclass.h"

namespace {

constexpr UINT kMsg = WM_APP + 1; // 32769

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
} a{'A'}, b{'B'};

std::string Props(HWND hwnd);

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsg) {
        g_log += 'P';
        return 'P';
    }
    if (msg == WM_DESTROY) // the bookkeeping left, and 1 when this procedure is back in place
        g_log = Props(hwnd) + std::to_string(::GetWindowLongPtrA(hwnd, GWLP_WNDPROC) ==
                                             reinterpret_cast<LONG_PTR>(&TestProc));
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

// The window's properties under its number, as "suffix=value ": clients by name, P for TestProc.
std::string Props(HWND hwnd) {
    std::map<std::string, std::string> props;
    ::EnumPropsExA(
        hwnd,
        [](HWND h, LPSTR name, HANDLE v, ULONG_PTR p) -> BOOL {
            const std::string prefix = std::to_string(HandleToLong(h));
            if (!IS_INTRESOURCE(name) && std::string_view(name).starts_with(prefix))
                (*reinterpret_cast<std::map<std::string, std::string>*>(p))[name + prefix.size()] =
                    v == &a                  ? "A"
                    : v == &b                ? "B"
                    : v == HANDLE(&TestProc) ? "P"
                                             : std::to_string(HandleToLong(v));
            return TRUE;
        },
        LPARAM(&props));
    std::string text;
    for (const auto& [name, value] : props)
        text += name + "=" + value + " ";
    return text;
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

// Other tools read the bookkeeping under these exact names.
TEST_F(SubclassTest, PropertiesCountHooksAndGoWithTheLastHookOrTheWindow) {
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&a, hwnd, kMsg);
    EXPECT_EQ(Props(hwnd), "=P #273#1=A #273#2=B #273C=2 #32769#1=A #32769C=1 C=3 ");

    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // nothing left to undo
    EXPECT_EQ(Props(hwnd), "=P #273#1=B #273C=1 #32769#1=A #32769C=1 C=2 ");

    MSubclass::UnhookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, kMsg);
    EXPECT_EQ(Props(hwnd), "");
    EXPECT_EQ(Proc(), reinterpret_cast<LONG_PTR>(&TestProc));

    // Destroyed while hooked but with no client for WM_DESTROY: the window's own procedure
    // sees it with the original procedure back and the bookkeeping gone.
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    ::DestroyWindow(hwnd);
    EXPECT_EQ(g_log, "1");
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // the window is gone: silently nothing
}

// The client's answer: the previous procedure before it, after it (giving the result) or never.
TEST_F(SubclassTest, ClientAnswerDecidesAboutThePreviousProcedure) {
    const struct {
        std::int32_t response;
        const char* order;
        LRESULT result;
    } cases[] = {{.response = emrPreprocess, .order = "PA", .result = 'A'},
                 {.response = emrPostProcess, .order = "AP", .result = 'P'},
                 {.response = emrConsume, .order = "A", .result = 'A'}};
    MSubclass::HookMessage(&a, hwnd, kMsg);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        a.response = c.response;
        g_log.clear();
        EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), c.result);
        EXPECT_EQ(g_log, c.order);
    }
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
