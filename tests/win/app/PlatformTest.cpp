#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"
#include "win32/Seam.h"

namespace {

std::optional<WinVersion> g_version;
const WinVersion kXp{2, 5, 1, 2600}, kVista{2, 6, 0, 6002};

// Each token's groups: A Administrators, a the same deny-only, U Users, after '|' past the count;
// "-": no token; "0": the size query answers 0; "F": the second query fails (buffer filled).
std::string g_thread, g_process;
std::map<HANDLE, std::string> g_tokens;
BYTE g_admins[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}; // S-1-5-32-544
BYTE g_users[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};  // S-1-5-32-545

BOOL Refused(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}
BOOL HandOut(const std::string& groups, PHANDLE token) {
    if (groups == "-")
        return Refused(ERROR_NO_TOKEN);
    *token = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_tokens[*token] = groups;
    return TRUE;
}
BOOL WINAPI ThreadToken(HANDLE, DWORD, BOOL, PHANDLE token) {
    return HandOut(g_thread, token);
}
BOOL WINAPI ProcessToken(HANDLE, DWORD, PHANDLE token) {
    return HandOut(g_process, token);
}
BOOL WINAPI Groups(HANDLE token, TOKEN_INFORMATION_CLASS, LPVOID out, DWORD size, PDWORD needed) {
    std::string groups = g_tokens.at(token);
    const bool fails = std::erase(groups, 'F') > 0, sizeless = std::erase(groups, '0') > 0;
    const std::size_t counted = groups.find('|');
    std::erase(groups, '|');
    *needed = sizeless ? 0 : sizeof(TOKEN_GROUPS) + groups.size() * sizeof(SID_AND_ATTRIBUTES);
    if (size < *needed || sizeless)
        return Refused(ERROR_INSUFFICIENT_BUFFER);
    auto* list = static_cast<TOKEN_GROUPS*>(out);
    list->GroupCount = static_cast<DWORD>(std::min(counted, groups.size()));
    SID_AND_ATTRIBUTES* entry = list->Groups;
    for (char g : groups)
        *entry++ = {g == 'U' ? g_users : g_admins,
                    DWORD(g == 'a' ? SE_GROUP_USE_FOR_DENY_ONLY : SE_GROUP_ENABLED)};
    return !fails;
}

} // namespace

// Versions Wine cannot report. Digits: 2000 XP 2003 R2 NT 6; the system metrics report R2 here.
TEST(PlatformChecks, VersionBoundaries) {
    const struct {
        std::optional<WinVersion> version;
        const char* is;
    } cases[] = {
        {.version = WinVersion{2, 5, 0, 2195}, .is = "10000"},
        {.version = WinVersion{2, 5, 1, 9999}, .is = "01000"},
        {.version = WinVersion{2, 5, 2, 3790}, .is = "00110"},
        {.version = WinVersion{2, 6, 3, 9600}, .is = "00001"},
        {.version = WinVersion{2, 10, 0, 19045}, .is = "00000"},
        {.version = WinVersion{1, 5, 1, 2600}, .is = "00000"}, // not the NT family
        {.version = std::nullopt, .is = "00000"},              // no answer
    };
    const Seam<MGetWinVer::Calls>::Override fake({[] { return g_version; }, [](int) { return 1; }});
    for (const auto& c : cases) {
        using namespace MGetWinVer;
        g_version = c.version;
        const std::string got = {char('0' + IsWin2000()), char('0' + IsWinXP()),
                                 char('0' + IsWin2003()), char('0' + IsWin2003R2()),
                                 char('0' + IsVista())};
        EXPECT_EQ(got, c.is) << (c.version ? c.version->build : 0);
    }
}

// Below NT 6 the token decides, the thread's while it impersonates: deny-only counts too,
// wherever it stands; a failing call answers no; each token is closed.
TEST(PlatformChecks, AdministratorsGroupOfTheTokenInUse) {
    const struct {
        WinVersion version;
        std::string thread, process;
        bool admin;
    } cases[] = {
        // The manifest demanded elevation: no token asked.
        {.version = kVista, .thread = "-", .process = "-", .admin = true},
        {.version = kXp, .thread = "-", .process = "-", .admin = false},
        {.version = kXp, .thread = "-", .process = std::string(149, 'U') + "a", .admin = true},
        {.version = kXp, .thread = "U", .process = "A", .admin = false},
        {.version = kXp, .thread = "-", .process = "FA", .admin = false},
        {.version = kXp, .thread = "-", .process = "0A", .admin = false},
        {.version = kXp, .thread = "-", .process = "UUU|A", .admin = false},
    };
    const Seam<MGetWinVer::Calls>::Override version({[] { return g_version; }});
    const Seam<MCheckAdmin::Calls>::Override tokens({&ThreadToken, &ProcessToken, &Groups});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.thread + " " + c.process);
        g_version = c.version;
        g_thread = c.thread;
        g_process = c.process;
        g_tokens.clear();
        EXPECT_EQ(MCheckAdmin::IsAdmin(), c.admin);
        for (const auto& [handle, groups] : g_tokens)
            EXPECT_FALSE(::CloseHandle(handle)) << "left open: " << groups;
    }
}
