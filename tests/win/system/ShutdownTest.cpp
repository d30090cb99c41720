#include <gtest/gtest.h>

#include "win32/Handles.h"
#include "system/MShutdown.h"
#include "support/MsgBoxWatcher.h"

using MShutdown::Calls;

namespace {

std::vector<std::string> g_requests, g_errors;
std::string g_fail; // the step made to fail: open, lookup, enable, request or disable

bool ShutdownPrivilegeEnabled() {
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    return ::PrivilegeCheck(token.get(), &set, &enabled) && enabled;
}

// True, with the error code set, when step is the one made to fail.
bool Fails(const char* step, DWORD error) {
    return g_fail == step ? ::SetLastError(error), true : false;
}

BOOL WINAPI Open(HANDLE process, DWORD access, PHANDLE token) {
    return !Fails("open", ERROR_ACCESS_DENIED) && ::OpenProcessToken(process, access, token);
}

BOOL WINAPI Lookup(LPCSTR system, LPCSTR name, PLUID luid) {
    return !Fails("lookup", ERROR_NO_SUCH_PRIVILEGE) && ::LookupPrivilegeValueA(system, name, luid);
}

BOOL WINAPI Adjust(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                   PTOKEN_PRIVILEGES previous, PDWORD returned) {
    return !Fails(state->Privileges[0].Attributes ? "enable" : "disable", 6) &&
           ::AdjustTokenPrivileges(token, disableAll, state, length, previous, returned);
}

// Recorded as "machine|message|timeout|force reboot privilege", never made: a test must not
// restart anything.
BOOL WINAPI Initiate(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    g_requests.push_back(std::string(machine ? machine : "(null)") + "|" + message + "|" +
                         std::to_string(timeout) + "|" + std::to_string(force) +
                         std::to_string(reboot) + std::to_string(ShutdownPrivilegeEnabled()));
    return g_fail != "request";
}

void ShowError(const std::string& text) {
    g_errors.push_back(text);
}

} // namespace

// Which machine is meant (this computer's name, with or without "\\", in any case), whether
// anything happens, what reaches the request, and the privilege on only around a local one.
// Token and privilege failures are shown with the failing call and its code; a refused request
// and a failed switch-off answer false without a message.
TEST(ShutdownSystem, DecisionRequestAndFailures) {
    char name[100] = {};
    DWORD length = 100;
    ASSERT_TRUE(::GetComputerNameA(name, &length));
    const std::string host = name, lowered = "\\\\" + std::string(::CharLowerA(name));
    struct Case {
        std::string name;
        bool local;
        std::string fail;
        bool result;
        std::vector<std::string> requests, errors;
    } cases[] = {
        {host, true, "", true, {"\\\\" + host + "|Bye|30|011"}, {}},
        {lowered, true, "", true, {lowered + "|Bye|30|011"}, {}},
        {host, false, "", false, {}, {}},
        {"OTHERPC", false, "", true, {"\\\\OTHERPC|Bye|30|010"}, {}},
        {"\\\\otherpc", true, "", true, {"\\\\otherpc|Bye|30|010"}, {}},
        {host, true, "open", false, {}, {"OpenProcessToken Error: 5"}},
        {host, true, "lookup", false, {}, {"LookupPrivilegeValue Error: 1313"}},
        {host, true, "enable", false, {}, {"AdjustTokenPrivileges Error: 6"}},
        {host, true, "request", false, {"\\\\" + host + "|Bye|30|011"}, {}},
        {host, true, "disable", false, {"\\\\" + host + "|Bye|30|011"}, {}}, // these two last
    };
    Calls() = {&Open, &Lookup, &Adjust, &Initiate, &::GetComputerNameA, &ShowError};
    for (const auto& c : cases) {
        g_requests.clear();
        g_errors.clear();
        g_fail = c.fail;
        EXPECT_EQ(MShutdown::ShutdownSystem(c.name, false, true, c.local, 30, "Bye"), c.result)
            << c.name << " " << c.fail;
        EXPECT_EQ(g_requests, c.requests) << c.fail;
        EXPECT_EQ(g_errors, c.errors) << c.fail;
        // A refused request returns at once and leaves the privilege on: not pinned here.
        if (c.fail != "request") {
            EXPECT_EQ(ShutdownPrivilegeEnabled(), c.fail == "disable") << c.name << " " << c.fail;
        }
    }
    g_fail = "";
    MShutdown::ShutdownSystem(host, false, true, true); // switches the privilege off again

    // The message reaches the user as a plain box with an OK button.
    Calls().showError = nullptr;
    g_fail = "open";
    testsupport::MsgBoxWatcher watcher("", IDOK);
    EXPECT_FALSE(MShutdown::ShutdownSystem(host, false, true, true));
    ASSERT_TRUE(watcher.Result());
    EXPECT_EQ(watcher.Result()->text, "OpenProcessToken Error: 5");
    EXPECT_EQ(watcher.Result()->icon, nullptr);
    Calls() = {};
}
