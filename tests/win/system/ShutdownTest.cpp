#include <gtest/gtest.h>

#include "win32/Handles.h"
#include "system/MShutdown.h"
#include "support/MsgBoxWatcher.h"

using MShutdown::Calls;

namespace {

// The request and error texts seen; the step made to fail: open, lookup, enable, request or
// disable.
std::string g_log, g_fail;

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

// Logged as "machine|message|timeout|force reboot privilege", never made: a test must not
// restart anything.
BOOL WINAPI Initiate(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    g_log += std::string(machine ? machine : "(null)") + "|" + message + "|" +
             std::to_string(timeout) + "|" + std::to_string(force) + std::to_string(reboot) +
             std::to_string(ShutdownPrivilegeEnabled());
    return g_fail != "request";
}

void ShowError(const std::string& text) {
    g_log += text;
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
    const std::string host = name, lowered = "\\\\" + std::string(::CharLowerA(name)),
                      asked = "\\\\" + host + "|Bye|30|011";
    // Machine, local allowed, the step made to fail, the answer, and the request or error seen.
    const std::tuple<std::string, bool, std::string, bool, std::string> cases[] = {
        {host, true, "", true, asked},
        {lowered, true, "", true, lowered + "|Bye|30|011"},
        {host, false, "", false, ""},
        {"OTHERPC", false, "", true, "\\\\OTHERPC|Bye|30|010"},
        {"\\\\otherpc", true, "", true, "\\\\otherpc|Bye|30|010"},
        {host, true, "open", false, "OpenProcessToken Error: 5"},
        {host, true, "lookup", false, "LookupPrivilegeValue Error: 1313"},
        {host, true, "enable", false, "AdjustTokenPrivileges Error: 6"},
        {host, true, "request", false, asked},
        {host, true, "disable", false, asked}, // these two leave the privilege on: last
    };
    Calls() = {&Open, &Lookup, &Adjust, &Initiate, &::GetComputerNameA, &ShowError};
    for (const auto& [machine, local, fail, result, log] : cases) {
        g_log.clear(), g_fail = fail;
        EXPECT_EQ(MShutdown::ShutdownSystem(machine, false, true, local, 30, "Bye"), result)
            << machine << " " << fail;
        EXPECT_EQ(g_log, log) << fail;
        // A refused request returns at once and leaves the privilege on: not pinned here.
        if (fail != "request")
            EXPECT_EQ(ShutdownPrivilegeEnabled(), fail == "disable") << machine << " " << fail;
    }

    // The message reaches the user as a plain box with an OK button.
    Calls().showError = nullptr, g_fail = "open";
    testsupport::MsgBoxWatcher watcher("", IDOK);
    EXPECT_FALSE(MShutdown::ShutdownSystem(host, false, true, true));
    ASSERT_TRUE(watcher.Result());
    EXPECT_EQ(watcher.Result()->text, "OpenProcessToken Error: 5");
    EXPECT_EQ(watcher.Result()->icon, nullptr);
    Calls() = {};
}
