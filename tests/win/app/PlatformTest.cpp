#include <gtest/gtest.h>

#include <vector>

#include "support/ChildProcess.h"
#include "app/GetLanguageCode.h"
#include "win32/Handles.h"
#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"

// Boundaries of the version rules that Wine cannot be made to report; digits: 2000 XP 2003 Vista.
TEST(VersionRules, Boundaries) {
    const std::pair<WinVersion, const char*> cases[] = {
        {{2, 5, 0, 2195}, "1000"},   {{2, 5, 0, 2194}, "0000"}, // 2000 pre-release
        {{2, 5, 1, 2599}, "0000"},                              // XP pre-release
        {{2, 5, 1, 9999}, "0100"},   {{2, 5, 2, 3791}, "0000"}, {{2, 6, 3, 9600}, "0001"},
        {{2, 10, 0, 19045}, "0000"}, {{1, 5, 1, 2600}, "0000"}, // not the NT family
        {{2, 5, 0, -1}, "0000"},                                // builds compare signed
    };
    for (const auto& [v, expected] : cases) {
        using namespace MGetWinVer;
        std::string got = {char('0' + IsWin2000(v)), char('0' + IsWinXP(v)),
                           char('0' + IsWin2003(v)), char('0' + IsVista(v))};
        EXPECT_EQ(got, expected) << v.platformId << " " << v.major << "." << v.minor << "."
                                 << v.build;
    }
}

TEST(LanguageCode, OnlyTheFiveGermanLocalesGiveDE) {
    for (std::uint32_t lcid : {1031u, 2055u, 3079u, 4103u, 5127u})
        EXPECT_EQ(MMain::LanguageCodeFor(lcid), "DE") << lcid;
    for (std::uint32_t lcid : {1033u, 2057u, 1036u, 1030u, 6151u, 0u, 0x10407u})
        EXPECT_EQ(MMain::LanguageCodeFor(lcid), "EN") << lcid;
}

// A group list built by hand (Wine's tokens hold the group near the start): found anywhere,
// whatever its attributes, past identifiers that are not valid, but not past the count.
TEST(AdminGroupWalk, FindsTheGroupAnywhereWhateverItsAttributes) {
    using MCheckAdmin::GroupsContain;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid admins, users;
    ASSERT_TRUE(::AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, admins.put()));
    ASSERT_TRUE(::AllocateAndInitializeSid(&nt, 2, 32, 545, 0, 0, 0, 0, 0, 0, users.put()));
    std::vector<BYTE> bad(sizeof(SID) + 8, 0xFF); // revision 255: not a valid identifier
    std::vector<BYTE> buffer(sizeof(TOKEN_GROUPS) + 150 * sizeof(SID_AND_ATTRIBUTES));
    auto& groups = *reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    groups.GroupCount = 150;
    for (DWORD i = 0; i < 150; ++i)
        groups.Groups[i] = {i % 3 ? users.get() : bad.data(), SE_GROUP_ENABLED};
    EXPECT_FALSE(GroupsContain(groups, admins.get()) || GroupsContain(groups, bad.data()));
    for (DWORD attributes : {0ul, DWORD(SE_GROUP_ENABLED), DWORD(SE_GROUP_USE_FOR_DENY_ONLY)}) {
        groups.Groups[149] = {admins.get(), attributes};
        EXPECT_TRUE(GroupsContain(groups, admins.get())) << attributes;
    }
    groups.GroupCount = 149;
    EXPECT_FALSE(GroupsContain(groups, admins.get()));
}

// The real calls under the versions Wine can report (6.x past Vista: VersionRules); the token is
// walked below NT 6, also when the thread impersonates. Digits: 2000 XP 2003 R2 Vista, IsAdmin,
// the process token's group, impersonating, IsAdmin then.
TEST(PlatformChecks, UnderEachWindowsVersion) {
    const std::pair<const char*, const char*> cases[] = {
        {"win98", "00000 11 11"},   {"win2k", "10000 11 11"}, {"winxp", "01000 11 11"},
        {"win2003", "00100 11 11"}, {"vista", "00001 11 11"},
    };
    for (const auto& [version, expected] : cases) {
        testsupport::WineVersionFor as("platform_probe.exe", version);
        testsupport::ChildProcess probe(PLATFORM_PROBE_EXE);
        EXPECT_EQ(probe.Wait(20000), 0u) << version;
        EXPECT_EQ(probe.Output(), expected) << version;
    }
}
