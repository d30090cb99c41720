#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "Fatal.h"
#include "MSubclass.h"

namespace {

constexpr UINT kMsg = WM_APP + 1; // 32769
constexpr LRESULT kPrevResult = 100;

std::string g_log; // who ran, in order: the clients by name, P for the previous procedure
std::string g_failProp;
bool g_ownProcAtDestroy = false;

using PropMap = std::map<std::string, HANDLE>;

// The window's properties named after its number: ours, not the platform's.
PropMap Props(HWND hwnd) {
    std::pair<PropMap, std::string> out{{}, std::to_string(HandleToLong(hwnd))};
    ::EnumPropsExA(
        hwnd,
        [](HWND, LPSTR name, HANDLE value, ULONG_PTR p) -> BOOL {
            auto& [props, prefix] = *reinterpret_cast<std::pair<PropMap, std::string>*>(p);
            if (!IS_INTRESOURCE(name) && std::string_view(name).starts_with(prefix))
                props[name] = value;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out.first;
}

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsg) {
        g_log += 'P';
        return kPrevResult;
    }
    if (msg == WM_DESTROY)
        g_ownProcAtDestroy =
            ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TestProc) &&
            Props(hwnd).empty();
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

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
};

struct SubclassTest : ::testing::Test {
    void SetUp() override {
        hwnd = ::CreateWindowA("STATIC", "", 0, 0, 0, 9, 9, 0, 0, 0, 0);
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TestProc));
        h = std::to_string(HandleToLong(hwnd));
        g_log.clear();
    }
    void TearDown() override {
        ::DestroyWindow(hwnd);
        MSubclass::seam::SetSetProp(nullptr);
        MSubclass::seam::SetSetWndProc(nullptr);
    }
    LONG_PTR Proc() const { return ::GetWindowLongPtrA(hwnd, GWLP_WNDPROC); }
    static HANDLE Value(std::intptr_t n) { return reinterpret_cast<HANDLE>(n); }

    HWND hwnd = nullptr;
    std::string h;
    Client a{'A'}, b{'B'};
};

// Other tools read the bookkeeping under these exact names.
TEST_F(SubclassTest, PropertiesCountHooksAndGoWithTheLastHookOrTheWindow) {
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::HookMessage(&a, hwnd, kMsg);
    EXPECT_EQ(Props(hwnd), (PropMap{{h, reinterpret_cast<HANDLE>(&TestProc)},
                                    {h + "C", Value(3)},
                                    {h + "#273C", Value(2)},
                                    {h + "#273#1", &a},
                                    {h + "#273#2", &b},
                                    {h + "#32769C", Value(1)},
                                    {h + "#32769#1", &a}}));

    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // nothing left to undo
    EXPECT_EQ(::GetPropA(hwnd, (h + "#273#1").c_str()), &b);
    EXPECT_EQ(::GetPropA(hwnd, (h + "#273#2").c_str()), nullptr);
    EXPECT_EQ(::GetPropA(hwnd, (h + "#273C").c_str()), Value(1));
    EXPECT_EQ(::GetPropA(hwnd, (h + "C").c_str()), Value(2));

    MSubclass::UnhookMessage(&b, hwnd, WM_COMMAND);
    MSubclass::UnhookMessage(&a, hwnd, kMsg);
    EXPECT_TRUE(Props(hwnd).empty());
    EXPECT_EQ(Proc(), reinterpret_cast<LONG_PTR>(&TestProc));

    // Destroyed while hooked but with no client for WM_DESTROY: the window's own procedure
    // sees it with the original procedure back and the bookkeeping gone.
    MSubclass::HookMessage(&a, hwnd, WM_COMMAND);
    ::DestroyWindow(hwnd);
    EXPECT_TRUE(g_ownProcAtDestroy);
    MSubclass::UnhookMessage(&a, hwnd, WM_COMMAND); // the window is gone: silently nothing
}

// Only the first-attached client's answer decides about the previous procedure; later clients
// run first; the result is the first client's unless the previous procedure ran after it.
TEST_F(SubclassTest, ResponseProtocolOrdersPreviousProcedureAndClients) {
    const std::tuple<std::int32_t, std::int32_t, const char*, LRESULT> cases[] = {
        {emrPreprocess, emrPostProcess, "BPA", 'A'},
        {emrPostProcess, emrConsume, "BAP", kPrevResult},
        {emrConsume, emrPostProcess, "BA", 'A'},
    };
    MSubclass::HookMessage(&a, hwnd, kMsg);
    MSubclass::HookMessage(&b, hwnd, kMsg);
    for (const auto& [first, second, order, result] : cases) {
        a.response = first;
        b.response = second;
        g_log.clear();
        EXPECT_EQ(::SendMessageA(hwnd, kMsg, 0, 0), result) << order;
        EXPECT_EQ(g_log, order);
    }
}

// A failed attach raises and leaves the window's properties and procedure as they were. The
// desktop window belongs to another process.
TEST_F(SubclassTest, FailedAttachRaisesAndChangesNothing) {
    struct Case {
        bool preHooked;   // client A on WM_COMMAND before the attach of client B
        std::string fail; // a property suffix, or: same client, dead or foreign window, procedure
        std::int32_t number;
        const char* description;
    } cases[] = {
        {true, "same", -2147208422, "Message already handled by another class"},
        {false, "dead", -2147208421, "Invalid window"},
        {false, "foreign", -2147208420, "Can't modify external window"},
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
        HWND target = c.fail == "foreign" ? ::GetDesktopWindow() : hwnd;
        if (c.fail == "dead")
            ::DestroyWindow(target = ::CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, 0, 0, 0, 0));
        g_failProp = h + c.fail;
        MSubclass::seam::SetSetProp([](HWND w, LPCSTR name, HANDLE v) -> BOOL {
            return g_failProp != name && ::SetPropA(w, name, v);
        });
        if (c.fail == "proc")
            MSubclass::seam::SetSetWndProc([](HWND, int, LONG_PTR) -> LONG_PTR { return 0; });
        const PropMap props = Props(hwnd), targetProps = Props(target);
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
        EXPECT_EQ(Props(target), targetProps);
        EXPECT_EQ(Proc(), proc);
    }
}

} // namespace
