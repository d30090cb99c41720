#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Fatal.h"
#include "MSubclass.h"

namespace {

constexpr UINT kMsg = WM_APP + 1; // 32769
constexpr UINT kNested = WM_APP + 2;
constexpr LRESULT kPrevResult = 100;

std::vector<std::string> g_log;
std::vector<AppError> g_fatal;
std::string g_failProp;
bool g_ownProcAtDestroy = false;

using PropMap = std::map<std::string, HANDLE>;

// The window's properties named after its number: ours, not the platform's.
PropMap Props(HWND hwnd) {
    PropMap all, ours;
    ::EnumPropsExA(
        hwnd,
        [](HWND, LPSTR name, HANDLE value, ULONG_PTR out) -> BOOL {
            if (!IS_INTRESOURCE(name))
                (*reinterpret_cast<PropMap*>(out))[name] = value;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    for (const auto& [name, value] : all)
        if (name.starts_with(std::to_string(HandleToLong(hwnd))))
            ours[name] = value;
    return ours;
}

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsg || msg == kNested) {
        g_log.push_back("prev");
        return kPrevResult;
    }
    if (msg == WM_DESTROY)
        g_ownProcAtDestroy =
            ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TestProc) &&
            Props(hwnd).empty();
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

struct Client : ISubclass {
    Client(std::string n, LRESULT r) : name(std::move(n)), result(r) {}
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
    LRESULT result;
    std::int32_t response = emrPreprocess;
    std::vector<UINT> asked;
    std::function<void(HWND, UINT)> onMessage;
};

struct SubclassTest : ::testing::Test {
    void SetUp() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &TestProc;
        wc.lpszClassName = "MSubclassTest";
        ::RegisterClassA(&wc);
        hwnd = ::CreateWindowA("MSubclassTest", "", 0, 0, 0, 9, 9, 0, 0, 0, 0);
        ASSERT_TRUE(hwnd);
        h = std::to_string(HandleToLong(hwnd));
        g_log.clear();
        g_fatal.clear();
        g_ownProcAtDestroy = false;
        previousHandler = SetFatalHandler([](const AppError& e) { g_fatal.push_back(e); });
    }
    void TearDown() override {
        ::DestroyWindow(hwnd);
        MSubclass::seam::SetSetProp(nullptr);
        MSubclass::seam::SetSetWndProc(nullptr);
        SetFatalHandler(previousHandler);
    }
    LONG_PTR Proc() const { return ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC); }
    HANDLE Prop(const std::string& suffix) const { return ::GetPropA(hwnd, (h + suffix).c_str()); }
    static HANDLE Value(std::intptr_t n) { return reinterpret_cast<HANDLE>(n); }
    static HANDLE Value(ISubclass* c) { return c; }

    HWND hwnd = nullptr;
    std::string h;
    FatalHandler previousHandler = nullptr;
    Client a{"A", 1}, b{"B", 2};
};

// Other tools read the bookkeeping under these exact names.
TEST_F(SubclassTest, PropertiesCountHooksAndShiftClientsDownOnDetach) {
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&a, hwnd, kMsg);
    EXPECT_NE(Proc(), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_EQ(Props(hwnd), (PropMap{{h, reinterpret_cast<HANDLE>(&TestProc)},
                                    {h + "C", Value(3)},
                                    {h + "#273C", Value(2)},
                                    {h + "#273#1", Value(&a)},
                                    {h + "#273#2", Value(&b)},
                                    {h + "#32769C", Value(1)},
                                    {h + "#32769#1", Value(&a)}}));

    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // nothing left to undo
    EXPECT_EQ(Prop("#273#1"), Value(&b));
    EXPECT_EQ(Prop("#273#2"), nullptr);
    EXPECT_EQ(Prop("#273C"), Value(1));
    EXPECT_EQ(Prop("C"), Value(2));

    MSubclass::UnhookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, kMsg);
    EXPECT_TRUE(Props(hwnd).empty());
    EXPECT_EQ(Proc(), reinterpret_cast<LONG_PTR>(&TestProc));
    EXPECT_EQ(MSubclass::CallPreviousProc(hwnd, kMsg, 0, 0), 0);
}

// Only the first-attached client's answer decides about the previous procedure; later clients
// run first; the result is the first client's unless the previous procedure ran after it. A
// client that throws is reported and nothing unwinds into Windows.
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

    b.onMessage = [](HWND, UINT) { throw AppError(381, "x", ""); };
    EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), 0);
    ASSERT_EQ(g_fatal.size(), 1u);
    EXPECT_EQ(g_fatal[0].Number(), 381);
}

// The first client answers by CurrentMessage; a message sent from inside its WindowProc must
// not change the answer read after the clients have run.
TEST_F(SubclassTest, NestedMessageDoesNotChangeTheAnswerForTheOuterOne) {
    struct ByMessage : Client {
        using Client::Client;
        std::int32_t MsgResponse() override {
            return MSubclass::CurrentMessage() == kMsg ? emrPostProcess : emrConsume;
        }
    } c{"C", 7};
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
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // the window is gone: silently nothing
}

BOOL WINAPI FailingSetProp(HWND hwnd, LPCSTR name, HANDLE value) {
    return g_failProp == name ? FALSE : ::SetPropA(hwnd, name, value);
}
LONG_PTR WINAPI FailingSetWndProc(HWND, int, LONG_PTR) {
    return 0;
}

// A failed attach raises and leaves the window's properties and procedure as they were.
TEST_F(SubclassTest, FailedAttachRaisesAndChangesNothing) {
    struct Case {
        bool preHooked;   // client A on WM_COMMAND before the attach of client B
        std::string fail; // a property suffix, or: same client, dead window, procedure
        std::int32_t number;
        const char* description;
    } cases[] = {
        {true, "same", -2147208422, "Message already handled by another class"},
        {false, "dead", -2147208421, "Invalid window"},
        {false, "proc", -2147208423, "Can't subclass window"},
        {true, "#273C", 5, ""},
        {true, "#273#2", 5, ""},
        {true, "C", 5, ""},
        {false, "#273#1", 5, ""},
        {false, "", 5, ""},
        {false, "C", 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.fail + "'");
        TearDown();
        SetUp();
        if (c.preHooked)
            MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
        HWND target = hwnd;
        if (c.fail == "dead") {
            target = ::CreateWindowA("MSubclassTest", "", 0, 0, 0, 1, 1, 0, 0, 0, 0);
            ::DestroyWindow(target);
        }
        g_failProp = h + c.fail;
        MSubclass::seam::SetSetProp(&FailingSetProp);
        if (c.fail == "proc")
            MSubclass::seam::SetSetWndProc(&FailingSetWndProc);
        const PropMap props = Props(hwnd);
        const LONG_PTR proc = Proc();
        try {
            MSubclass::HookMessage(c.fail == "same" ? &a : &b, target, WM_COMMAND);
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
    testsupport::ChildProcess helper(WINDOW_HELPER);
    HWND peer = nullptr;
    for (int i = 0; i < 200 && !peer; ++i, ::Sleep(50))
        peer = ::FindWindowA("TavelinWindowHelper", nullptr);
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
    EXPECT_EQ(helper.Wait(10000), 0u);
}

} // namespace
