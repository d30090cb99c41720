#include <gtest/gtest.h>

#include "system/MShutdown.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

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

void SetShutdownPrivilege(bool on) {
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put());
    TOKEN_PRIVILEGES state{1, {{{}, on ? DWORD(SE_PRIVILEGE_ENABLED) : 0u}}};
    ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &state.Privileges[0].Luid);
    ::AdjustTokenPrivileges(token.get(), FALSE, &state, 0, nullptr, nullptr);
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

} // namespace

// Which machine is meant (this computer's name, with or without "\\", in any case), whether
// anything happens, what reaches the request, and the privilege on only around a local one: back
// as it was before (on or off), also when the request is refused. Token and privilege failures
// come back with the failing call and its code; a refused request answers no request without
// a text; a privilege that cannot be put back does not undo a request that was made.
TEST(ShutdownSystem, DecisionRequestAndFailures) {
    char name[100] = {};
    DWORD length = 100;
    ASSERT_TRUE(::GetComputerNameA(name, &length));
    const std::string host = name, lowered = "\\\\" + std::string(::CharLowerA(name)),
                      asked = "\\\\" + host + "|Bye|30|011";
    // Machine, local allowed, the step made to fail, privilege on before, the answer, the
    // request or failure seen, privilege on after.
    const std::tuple<std::string, bool, std::string, bool, bool, std::string, bool> cases[] = {
        {host, true, "", false, true, asked, false},
        {host, true, "", true, true, asked, true},
        {lowered, true, "", false, true, lowered + "|Bye|30|011", false},
        {host, false, "", false, false, "", false},
        {"OTHERPC", false, "", false, true, "\\\\OTHERPC|Bye|30|010", false},
        {"\\\\otherpc", true, "", false, true, "\\\\otherpc|Bye|30|010", false},
        {host, true, "open", false, false, "OpenProcessToken Error: 5", false},
        {host, true, "lookup", false, false, "LookupPrivilegeValue Error: 1313", false},
        {host, true, "enable", false, false, "AdjustTokenPrivileges Error: 6", false},
        {host, true, "request", false, false, asked, false},
        {host, true, "disable", false, true, asked, true},
    };
    MShutdown::Calls calls;
    calls.openProcessToken = &Open, calls.lookupPrivilegeValue = &Lookup;
    calls.adjustTokenPrivileges = &Adjust, calls.initiateSystemShutdown = &Initiate;
    Seam<MShutdown::Calls>::Override fake(calls);
    for (const auto& [machine, local, fail, before, requested, log, after] : cases) {
        SCOPED_TRACE(machine + " " + fail + (before ? " on" : " off"));
        SetShutdownPrivilege(before);
        g_log.clear(), g_fail = fail;
        const MShutdown::Result result =
            MShutdown::ShutdownSystem(machine, false, true, local, 30, "Bye");
        EXPECT_EQ(result.requested, requested);
        EXPECT_EQ(g_log + result.failure, log);
        EXPECT_EQ(ShutdownPrivilegeEnabled(), after);
    }
    SetShutdownPrivilege(false);
}
