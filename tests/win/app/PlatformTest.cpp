#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

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

BOOL HandOut(const std::string& groups, PHANDLE token) {
    if (groups == "-")
        return ::SetLastError(ERROR_NO_TOKEN), FALSE;
    *token = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return g_tokens[*token] = groups, TRUE;
}
BOOL WINAPI ThreadToken(HANDLE, DWORD, BOOL, PHANDLE token) {
    return HandOut(g_thread, token);
}
BOOL WINAPI ProcessToken(HANDLE, DWORD, PHANDLE token) {
    return HandOut(g_process, token);
}
BOOL WINAPI Groups(HANDLE token, TOKEN_INFORMATION_CLASS, LPVOID out, DWORD size, PDWORD needed) {
    std::string groups = g_tokens.at(token);
    const char failure = groups[0] == '0' || groups[0] == 'F' ? groups[0] : ' ';
    groups.erase(0, failure != ' ');
    const std::size_t counted = groups.find('|');
    std::erase(groups, '|');
    *needed =
        failure == '0' ? 0 : sizeof(TOKEN_GROUPS) + groups.size() * sizeof(SID_AND_ATTRIBUTES);
    if (size < *needed || failure == '0')
        return ::SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    auto* list = static_cast<TOKEN_GROUPS*>(out);
    list->GroupCount = static_cast<DWORD>(std::min(counted, groups.size()));
    SID_AND_ATTRIBUTES* entry = list->Groups;
    for (char g : groups)
        *entry++ = {g == 'U' ? g_users : g_admins,
                    DWORD(g == 'a' ? SE_GROUP_USE_FOR_DENY_ONLY : SE_GROUP_ENABLED)};
    return failure != 'F';
}

} // namespace

// Versions Wine cannot report (the real calls: StartTest). Digits: 2000 XP 2003 R2 Vista; the
// system metrics report R2 here.
TEST(PlatformChecks, VersionBoundaries) {
    const std::pair<std::optional<WinVersion>, const char*> cases[] = {
        {WinVersion{2, 5, 0, 2195}, "10000"},
        {WinVersion{2, 5, 0, 2194}, "00000"}, // pre-release
        {WinVersion{2, 5, 1, 2599}, "00000"},
        {WinVersion{2, 5, 1, 9999}, "01000"},
        {WinVersion{2, 5, 2, 3790}, "00110"},
        {WinVersion{2, 5, 2, 3791}, "00000"},
        {WinVersion{2, 6, 3, 9600}, "00001"},
        {WinVersion{2, 10, 0, 19045}, "00000"},
        {WinVersion{1, 5, 1, 2600}, "00000"},
        {WinVersion{2, 5, 0, -1}, "00000"}, // signed
        {std::nullopt, "00000"},            // no answer
    };
    const Seam<MGetWinVer::Calls>::Override fake({[] { return g_version; }, [](int) { return 1; }});
    for (const auto& [version, expected] : cases) {
        using namespace MGetWinVer;
        g_version = version;
        const std::string got = {char('0' + IsWin2000()), char('0' + IsWinXP()),
                                 char('0' + IsWin2003()), char('0' + IsWin2003R2()),
                                 char('0' + IsVista())};
        EXPECT_EQ(got, expected) << (version ? version->build : 0);
    }
}

// Below NT 6 the token decides, the thread's while it impersonates (Wine's all hold the
// Administrators group): it counts deny-only too, wherever it stands; a failing call answers
// no; each token is closed.
TEST(PlatformChecks, AdministratorsGroupOfTheTokenInUse) {
    const std::tuple<WinVersion, std::string, std::string, bool> cases[] = {
        {kVista, "-", "-", true}, // the manifest demanded elevation: no token asked
        {kXp, "-", "-", false},
        {kXp, "-", "UU", false},
        {kXp, "-", std::string(149, 'U') + "a", true},
        {kXp, "-", "UUU|A", false},
        {kXp, "U", "A", false},
        {kXp, "A", "U", true},
        {kXp, "-", "0A", false},
        {kXp, "-", "FA", false},
    };
    const Seam<MGetWinVer::Calls>::Override version({[] { return g_version; }});
    const Seam<MCheckAdmin::Calls>::Override tokens({&ThreadToken, &ProcessToken, &Groups});
    for (const auto& [v, thread, process, admin] : cases) {
        g_version = v, g_thread = thread, g_process = process, g_tokens.clear();
        const bool got = MCheckAdmin::IsAdmin();
        int open = 0; // before anything else can take a closed token's number
        for (const auto& [handle, groups] : g_tokens)
            open += ::CloseHandle(handle);
        EXPECT_EQ(std::pair(got, open), std::pair(admin, 0)) << thread << " " << process;
    }
}
