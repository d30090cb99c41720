#include <gtest/gtest.h>

#include "keymap/CKeyEdit.h"
#include "system/MShutdown.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace {

std::string g_log, g_fail; // the request seen; the step made to fail

bool ShutdownPrivilege(std::optional<bool> set = std::nullopt) {
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, token.put());
    TOKEN_PRIVILEGES state{1, {{{}, set.value_or(false) ? DWORD(SE_PRIVILEGE_ENABLED) : 0u}}};
    ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &state.Privileges[0].Luid);
    if (set)
        ::AdjustTokenPrivileges(token.get(), FALSE, &state, 0, nullptr, nullptr);
    PRIVILEGE_SET check{1, PRIVILEGE_SET_ALL_NECESSARY, {state.Privileges[0]}};
    BOOL enabled = FALSE;
    return ::PrivilegeCheck(token.get(), &check, &enabled) && enabled;
}

bool Fails(const char* step, DWORD error) {
    if (g_fail != step)
        return false;
    ::SetLastError(error);
    return true;
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
// Logged as "machine|message|timeout|force reboot privilege", never made.
BOOL WINAPI Initiate(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    g_log += std::string(machine ? machine : "(null)") + "|" + message + "|" +
             std::to_string(timeout) + "|" + std::to_string(force) + std::to_string(reboot) +
             std::to_string(ShutdownPrivilege());
    return g_fail != "request";
}

} // namespace

// The restart: this computer, at once, no message, applications not forced closed (unsaved work);
// the privilege on only around the request, then back as it was. A failing step comes back with
// call and code, a refused request without a text; a privilege not put back undoes no request.
TEST(Restart, RequestPrivilegeAndFailures) {
    char name[100] = {};
    DWORD length = 100;
    ASSERT_TRUE(::GetComputerNameA(name, &length));
    const std::string asked = "\\\\" + std::string(name) + "||0|011";
    const struct {
        std::string fail;       // the step made to fail
        bool before = false;    // the privilege before
        bool requested = false; // the answer
        std::string seen;       // the request or the failure
        bool after = false;     // the privilege after
    } cases[] = {
        {.fail = "", .before = false, .requested = true, .seen = asked, .after = false},
        {.fail = "", .before = true, .requested = true, .seen = asked, .after = true},
        {.fail = "open", .seen = "OpenProcessToken Error: 5"},
        {.fail = "enable", .seen = "AdjustTokenPrivileges Error: 6"},
        {.fail = "request", .seen = asked},
        {.fail = "disable", .requested = true, .seen = asked, .after = true},
    };
    Seam<MShutdown::Calls>::Override fake({.openProcessToken = &Open,
                                           .lookupPrivilegeValue = &Lookup,
                                           .adjustTokenPrivileges = &Adjust,
                                           .initiateSystemShutdown = &Initiate});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fail + (c.before ? " on" : " off"));
        ShutdownPrivilege(c.before);
        g_log.clear();
        g_fail = c.fail;
        const MShutdown::Result result = CKeyEdit::Restart();
        EXPECT_EQ(result.requested, c.requested);
        EXPECT_EQ(g_log + result.failure, c.seen);
        EXPECT_EQ(ShutdownPrivilege(), c.after);
    }
    // This computer named in another case: still this one, the privilege on for the request.
    const std::string lower = "\\\\" + std::string(::CharLowerA(name));
    ShutdownPrivilege(false);
    g_log.clear();
    g_fail.clear();
    MShutdown::ShutdownSystem(lower, false, true, true);
    EXPECT_EQ(g_log, lower + "||0|011");
    ShutdownPrivilege(false);
}
