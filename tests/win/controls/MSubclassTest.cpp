#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Fatal.h"
#include "MSubclass.h"

namespace {

constexpr UINT kMsg = WM_APP + 1;
constexpr UINT kNested = WM_APP + 2;
constexpr LRESULT kPrevResult = 100;

std::vector<std::string> g_log;
std::vector<AppError> g_fatal;
bool g_ownProcAtDestroy = false;
std::size_t g_propsAtDestroy = 99;

// The window's properties whose names begin with its number: ours, not the platform's.
std::map<std::string, HANDLE> Props(HWND hwnd) {
    std::map<std::string, HANDLE> all, ours;
    ::EnumPropsExA(
        hwnd,
        [](HWND, LPSTR name, HANDLE value, ULONG_PTR out) -> BOOL {
            if (!IS_INTRESOURCE(name))
                (*reinterpret_cast<std::map<std::string, HANDLE>*>(out))[name] = value;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    const std::string prefix = std::to_string(HandleToLong(hwnd));
    for (const auto& [name, value] : all) {
        if (name.starts_with(prefix))
            ours[name] = value;
    }
    return ours;
}

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsg || msg == kNested || msg == WM_COMMAND) {
        g_log.push_back("prev");
        return kPrevResult;
    }
    if (msg == WM_DESTROY) {
        g_ownProcAtDestroy = ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC) ==
                             reinterpret_cast<LONG_PTR>(&TestProc);
        g_propsAtDestroy = Props(hwnd).size();
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

struct Client : ISubclass {
    Client(std::string n, std::int32_t r, LRESULT res) : name(std::move(n)), response(r), result(res) {}
    std::int32_t MsgResponse() override {
        asked.push_back(MSubclass::CurrentMessage());
        return response;
    }
    void SetMsgResponse(std::int32_t r) override { response = r; }
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM, LPARAM) override {
        g_log.push_back(name);
        if (onMessage)
            onMessage(hwnd, msg);
        return result;
    }
    std::string name;
    std::int32_t response;
    LRESULT result;
    std::vector<UINT> asked;
    std::function<void(HWND, UINT)> onMessage;
};

std::string g_failProp;
BOOL WINAPI FailingSetProp(HWND hwnd, LPCSTR name, HANDLE value) {
    return g_failProp == name ? FALSE : ::SetPropA(hwnd, name, value);
}
LONG_PTR WINAPI FailingSetWndProc(HWND, int, LONG_PTR) { return 0; }

struct SubclassTest : ::testing::Test {
    void SetUp() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &TestProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "MSubclassTest";
        ::RegisterClassA(&wc);
        hwnd = ::CreateWindowA("MSubclassTest", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, nullptr);
        ASSERT_TRUE(hwnd);
        h = std::to_string(HandleToLong(hwnd));
        g_log.clear();
        g_fatal.clear();
        previousHandler = SetFatalHandler([](const AppError& e) { g_fatal.push_back(e); });
    }
    void TearDown() override {
        if (::IsWindow(hwnd))
            ::DestroyWindow(hwnd);
        MSubclass::seam::SetSetProp(nullptr);
        MSubclass::seam::SetSetWndProc(nullptr);
        SetFatalHandler(previousHandler);
    }
    LONG_PTR Proc() const { return ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC); }
    HANDLE Prop(const std::string& suffix) const { return ::GetPropA(hwnd, (h + suffix).c_str()); }

    HWND hwnd = nullptr;
    std::string h;
    FatalHandler previousHandler = nullptr;
    Client a{"A", emrPreprocess, 1};
    Client b{"B", emrPreprocess, 2};
};

HANDLE Count(std::intptr_t n) { return reinterpret_cast<HANDLE>(n); }

// Other tools read the bookkeeping under these exact names.
TEST_F(SubclassTest, PropertiesCountHooksAndShiftClientsDownOnDetach) {
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&a, hwnd, kMsg);

    EXPECT_EQ(Prop(""), reinterpret_cast<HANDLE>(&TestProc));
    EXPECT_NE(Proc(), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_EQ(Prop("C"), Count(3));
    EXPECT_EQ(Prop("#273C"), Count(2));
    EXPECT_EQ(Prop("#273#1"), static_cast<ISubclass*>(&a));
    EXPECT_EQ(Prop("#273#2"), static_cast<ISubclass*>(&b));
    EXPECT_EQ(Prop("#32769C"), Count(1));
    EXPECT_EQ(Prop("#32769#1"), static_cast<ISubclass*>(&a));

    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND);
    EXPECT_EQ(Prop("#273#1"), static_cast<ISubclass*>(&b));
    EXPECT_EQ(Prop("#273#2"), nullptr);
    EXPECT_EQ(Prop("#273C"), Count(1));
    EXPECT_EQ(Prop("C"), Count(2));

    auto before = Props(hwnd);
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // nothing to undo
    EXPECT_EQ(Props(hwnd), before);

    MSubclass::UnhookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, kMsg);
    EXPECT_TRUE(Props(hwnd).empty());
    EXPECT_EQ(Proc(), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_EQ(MSubclass::CallPreviousProc(hwnd, kMsg, 0, 0), 0);
}

// Only the first-attached client's answer decides about the previous procedure; later clients
// run first, and the result is the first client's unless the previous procedure ran after it.
TEST_F(SubclassTest, ResponseProtocolOrdersPreviousProcedureAndClients) {
    struct Case {
        std::int32_t first, second;
        std::vector<std::string> order;
        LRESULT result;
    } cases[] = {
        {emrPreprocess, emrPostProcess, {"B", "prev", "A"}, 1},
        {emrPostProcess, emrConsume, {"B", "A", "prev"}, kPrevResult},
        {emrConsume, emrPostProcess, {"B", "A"}, 1},
    };
    MSubclass::HookMessage(&a, hwnd, kMsg);
    MSubclass::HookMessage(&b, hwnd, kMsg);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        a.response = c.first;
        b.response = c.second;
        a.asked.clear();
        g_log.clear();
        EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), c.result);
        EXPECT_EQ(g_log, c.order);
        EXPECT_EQ(a.asked, std::vector<UINT>({kMsg, kMsg}));
    }
}

// The first client answers by CurrentMessage; a message sent from inside its WindowProc must
// not change the answer read after the clients have run.
TEST_F(SubclassTest, NestedMessageDoesNotChangeTheAnswerForTheOuterOne) {
    struct ByMessage : Client {
        using Client::Client;
        std::int32_t MsgResponse() override {
            return MSubclass::CurrentMessage() == kMsg ? emrPostProcess : emrConsume;
        }
    } c{"C", 0, 7};
    c.onMessage = [](HWND w, UINT msg) {
        if (msg == kMsg)
            ::SendMessageA(w, kNested, 0, 0);
    };
    MSubclass::HookMessage(&c, hwnd, kMsg);
    MSubclass::HookMessage(&c, hwnd, kNested);
    EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), kPrevResult);
    EXPECT_EQ(g_log, (std::vector<std::string>{"C", "C", "prev"}));
}

TEST_F(SubclassTest, DestroyWithoutClientRestoresProcedureFirst) {
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    ::DestroyWindow(hwnd);
    EXPECT_TRUE(g_ownProcAtDestroy);
    EXPECT_EQ(g_propsAtDestroy, 0u);
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // the window is gone: silently nothing
}

TEST_F(SubclassTest, ThrowingClientIsReportedAndDoesNotUnwindIntoWindows) {
    a.onMessage = [](HWND, UINT) { throw AppError(381, "x", ""); };
    MSubclass::HookMessage(&a, hwnd, kMsg);
    EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), 0);
    ASSERT_EQ(g_fatal.size(), 1u);
    EXPECT_EQ(g_fatal[0].Number(), 381);
}

// A failed attach leaves the window's properties and procedure exactly as they were.
TEST_F(SubclassTest, FailedAttachRaisesAndChangesNothing) {
    struct Case {
        const char* what;
        bool preHooked, sameClient, deadWindow, failProc;
        const char* failProp; // suffix after the window's number
        std::int32_t number;
        const char* description;
    } cases[] = {
        {"same client twice", true, true, false, false, "-", -2147208422,
         "Message already handled by another class"},
        {"not a window", false, false, true, false, "-", -2147208421, "Invalid window"},
        {"procedure not replaced", false, false, false, true, "-", -2147208423,
         "Can't subclass window"},
        {"message count", true, false, false, false, "#273C", 5, ""},
        {"client", true, false, false, false, "#273#2", 5, ""},
        {"window count", true, false, false, false, "C", 5, ""},
        {"first client", false, false, false, false, "#273#1", 5, ""},
        {"previous procedure", false, false, false, false, "", 5, ""},
        {"first window count", false, false, false, false, "C", 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        if (c.preHooked)
            MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
        HWND target = hwnd;
        if (c.deadWindow) {
            target = ::CreateWindowA("MSubclassTest", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                     nullptr, nullptr);
            ::DestroyWindow(target);
        }
        g_failProp = h + c.failProp;
        MSubclass::seam::SetSetProp(&FailingSetProp);
        if (c.failProc)
            MSubclass::seam::SetSetWndProc(&FailingSetWndProc);
        const auto props = Props(hwnd);
        const LONG_PTR proc = Proc();

        try {
            MSubclass::HookMessage(c.sameClient ? &a : &b, target, WM_COMMAND);
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), c.number);
            EXPECT_EQ(e.Source(), ExeName() + ".WindowProc");
            EXPECT_EQ(e.Description(), c.description);
        }
        EXPECT_EQ(Props(hwnd), props);
        EXPECT_EQ(Proc(), proc);
    }
}

TEST_F(SubclassTest, WindowOfAnotherProcessIsRefused) {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, n);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"controls_window_helper.exe";
    std::wstring cmd = L"\"" + exe + L"\" TavelinSubclassPeer";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi));
    HWND peer = nullptr;
    for (int i = 0; i < 200 && !peer; ++i, ::Sleep(50))
        peer = ::FindWindowA("TavelinWindowHelper", "TavelinSubclassPeer");
    ASSERT_TRUE(peer);

    try {
        MSubclass::HookMessage(&a, peer, WM_COMMAND);
        ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), static_cast<std::int32_t>(0x8004331C));
        EXPECT_EQ(e.Description(), "Can't modify external window");
    }
    EXPECT_TRUE(Props(peer).empty());

    ::PostMessageA(peer, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

} // namespace
