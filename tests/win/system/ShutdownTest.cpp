#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "Handles.h"
#include "MShutdown.h"
#include "MsgBoxWatcher.h"

using MShutdown::Calls;

namespace {

struct Request {
    std::optional<std::string> machine; // nothing: null pointer
    std::string message;
    DWORD timeout;
    bool force, reboot;
    bool privilegeEnabled;
};

std::vector<Request> g_requests;
std::vector<std::string> g_errors;
int g_adjustCalls = 0;
BOOL g_initiateResult = TRUE;
int g_failAdjustCall = 0; // 1-based call number to fail, 0: none

bool ShutdownPrivilegeEnabled() {
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    LUID luid{};
    ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
    BOOL enabled = FALSE;
    ::PrivilegeCheck(token.get(), &set, &enabled);
    return enabled != FALSE;
}

// Never the real request: a test must not restart anything.
BOOL WINAPI RecordInitiate(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    g_requests.push_back({machine ? std::optional<std::string>(machine) : std::nullopt,
                          message ? message : "", timeout, force != 0, reboot != 0,
                          ShutdownPrivilegeEnabled()});
    return g_initiateResult;
}

BOOL WINAPI CountingAdjust(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                           PTOKEN_PRIVILEGES previous, PDWORD returned) {
    if (++g_adjustCalls == g_failAdjustCall) {
        ::SetLastError(6);
        return FALSE;
    }
    return ::AdjustTokenPrivileges(token, disableAll, state, length, previous, returned);
}

BOOL WINAPI DeniedOpen(HANDLE, DWORD, PHANDLE) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI UnknownPrivilege(LPCSTR, LPCSTR, PLUID) {
    ::SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}
BOOL WINAPI NoComputerName(LPSTR, LPDWORD) {
    ::SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
}
void RecordError(const std::string& text) {
    g_errors.push_back(text);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct ShutdownTest : ::testing::Test {
    void SetUp() override {
        g_requests.clear();
        g_errors.clear();
        g_adjustCalls = 0;
        g_failAdjustCall = 0;
        g_initiateResult = TRUE;
        Calls() = {};
        Calls().initiateSystemShutdown = &RecordInitiate;
        Calls().adjustTokenPrivileges = &CountingAdjust;
        Calls().showError = &RecordError;
    }
    void TearDown() override { Calls() = {}; }
};

} // namespace

TEST_F(ShutdownTest, MachineNameIsTheComputerName) {
    char name[100] = {};
    DWORD length = 100;
    ASSERT_TRUE(::GetComputerNameA(name, &length));
    EXPECT_EQ(MShutdown::GetMachineName(), std::string(name, length));
    Calls().getComputerName = &NoComputerName;
    EXPECT_EQ(MShutdown::GetMachineName(), "");
}

// Which machine is meant, whether anything happens, and what reaches the request.
TEST_F(ShutdownTest, NameAndLocalFlagDecideTheRequest) {
    const std::string host = MShutdown::GetMachineName();
    struct Case {
        std::string name;
        bool local;
        std::optional<std::string> requested; // nothing: no request at all
        int adjustCalls;
        bool result;
    } cases[] = {
        {host, true, "\\\\" + host, 2, true},
        {"\\\\" + Lower(host), true, "\\\\" + Lower(host), 2, true},
        {host, false, std::nullopt, 0, false},
        {"\\\\" + Lower(host), false, std::nullopt, 0, false},
        {"OTHERPC", false, "\\\\OTHERPC", 0, true},
        {"\\\\otherpc", true, "\\\\otherpc", 0, true},
    };
    for (const auto& c : cases) {
        SetUp();
        bool result = MShutdown::ShutdownSystem(c.name, false, true, c.local);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(g_adjustCalls, c.adjustCalls) << c.name;
        EXPECT_TRUE(g_errors.empty()) << c.name;
        if (!c.requested) {
            EXPECT_TRUE(g_requests.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(g_requests.size(), 1u) << c.name;
        const Request& r = g_requests[0];
        EXPECT_EQ(r.machine, c.requested);
        EXPECT_EQ(r.message, "");
        EXPECT_EQ(r.timeout, 0u);
        EXPECT_FALSE(r.force);
        EXPECT_TRUE(r.reboot);
    }
}

TEST_F(ShutdownTest, RemoteRequestPassesEveryArgument) {
    EXPECT_TRUE(MShutdown::ShutdownSystem("\\\\FAR", true, false, false, 30, "Bye"));
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].machine, "\\\\FAR");
    EXPECT_EQ(g_requests[0].message, "Bye");
    EXPECT_EQ(g_requests[0].timeout, 30u);
    EXPECT_TRUE(g_requests[0].force);
    EXPECT_FALSE(g_requests[0].reboot);
}

// The privilege is on while the request is made and off again afterwards.
TEST_F(ShutdownTest, PrivilegeIsEnabledOnlyAroundTheRequest) {
    ASSERT_TRUE(MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true));
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_TRUE(g_requests[0].privilegeEnabled);
    EXPECT_FALSE(ShutdownPrivilegeEnabled());
}

// Token and privilege failures are shown with the failing call and its code; a refused request
// and a failed switch-off answer false without a message.
TEST_F(ShutdownTest, FailuresOfEachStep) {
    struct Case {
        const char* what;
        void (*arrange)();
        std::string error; // empty: no message
        size_t requests;
    } cases[] = {
        {"open", [] { Calls().openProcessToken = &DeniedOpen; }, "OpenProcessToken Error: 5", 0},
        {"lookup", [] { Calls().lookupPrivilegeValue = &UnknownPrivilege; },
         "LookupPrivilegeValue Error: 1313", 0},
        {"enable", [] { g_failAdjustCall = 1; }, "AdjustTokenPrivileges Error: 6", 0},
        {"request", [] { g_initiateResult = FALSE; }, "", 1},
        {"disable", [] { g_failAdjustCall = 2; }, "", 1},
    };
    for (const auto& c : cases) {
        SetUp();
        c.arrange();
        EXPECT_FALSE(MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true))
            << c.what;
        EXPECT_EQ(g_requests.size(), c.requests) << c.what;
        if (c.error.empty())
            EXPECT_TRUE(g_errors.empty()) << c.what;
        else
            EXPECT_EQ(g_errors, std::vector<std::string>{c.error}) << c.what;
    }
    // Leave the process token as it was.
    Calls() = {};
    Calls().initiateSystemShutdown = &RecordInitiate;
    MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true);
}

// The message reaches the user as a plain box with an OK button.
TEST_F(ShutdownTest, ErrorIsShownInAMessageBox) {
    Calls().showError = nullptr;
    Calls().openProcessToken = &DeniedOpen;
    testsupport::MsgBoxWatcher watcher("", IDOK);
    EXPECT_FALSE(MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true));
    ASSERT_TRUE(watcher.Result());
    EXPECT_EQ(watcher.Result()->text, "OpenProcessToken Error: 5");
    EXPECT_EQ(watcher.Result()->icon, nullptr);
}
