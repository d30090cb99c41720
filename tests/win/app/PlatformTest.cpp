#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "ChildProcess.h"
#include "GetLanguageCode.h"
#include "Handles.h"
#include "MCheckAdmin.h"
#include "MGetWinVer.h"

using MGetWinVer::WinVersion;

// Boundaries of the version rules that Wine cannot be made to report.
TEST(VersionRules, Boundaries) {
    struct Case {
        WinVersion v;
        bool w2000, xp, w2003, vista;
    } cases[] = {
        {{2, 5, 0, 2195}, true, false, false, false},
        {{2, 5, 0, 2194}, false, false, false, false}, // 2000 pre-release
        {{2, 5, 1, 2600}, false, true, false, false},
        {{2, 5, 1, 2599}, false, false, false, false}, // XP pre-release
        {{2, 5, 1, 9999}, false, true, false, false},
        {{2, 5, 2, 3790}, false, false, true, false}, // 2003, also XP x64
        {{2, 5, 2, 3791}, false, false, false, false},
        {{2, 6, 0, 6002}, false, false, false, true},
        {{2, 6, 3, 9600}, false, false, false, true},
        {{2, 10, 0, 19045}, false, false, false, false},
        {{1, 5, 1, 2600}, false, false, false, false}, // not the NT family
        {{2, 5, 0, -1}, false, false, false, false},   // builds compare signed
    };
    for (const auto& c : cases) {
        std::string at = std::to_string(c.v.platformId) + " " + std::to_string(c.v.major) + "." +
                         std::to_string(c.v.minor) + "." + std::to_string(c.v.build);
        EXPECT_EQ(MGetWinVer::IsWin2000(c.v), c.w2000) << at;
        EXPECT_EQ(MGetWinVer::IsWinXP(c.v), c.xp) << at;
        EXPECT_EQ(MGetWinVer::IsWin2003(c.v), c.w2003) << at;
        EXPECT_EQ(MGetWinVer::IsVista(c.v), c.vista) << at;
    }
}

TEST(LanguageCode, OnlyTheFiveGermanLocalesGiveDE) {
    for (std::uint32_t lcid : {1031u, 2055u, 3079u, 4103u, 5127u})
        EXPECT_EQ(MMain::LanguageCodeFor(lcid), "DE") << lcid;
    for (std::uint32_t lcid : {1033u, 2057u, 1036u, 1030u, 6151u, 0u, 0x10407u})
        EXPECT_EQ(MMain::LanguageCodeFor(lcid), "EN") << lcid;
}

// A group list built by hand: Wine's tokens always hold the group near the start.
TEST(AdminGroupWalk, FindsTheGroupAnywhereWhateverItsAttributes) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid admins, users, broken;
    ASSERT_TRUE(::AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, admins.put()));
    ASSERT_TRUE(::AllocateAndInitializeSid(&nt, 2, 32, 545, 0, 0, 0, 0, 0, 0, users.put()));
    std::vector<BYTE> bad(sizeof(SID) + 8, 0xFF); // revision 255: not a valid identifier

    auto groups = [&](size_t count, long adminAt, DWORD attributes) {
        std::vector<BYTE> buffer(sizeof(TOKEN_GROUPS) + count * sizeof(SID_AND_ATTRIBUTES));
        auto* g = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
        g->GroupCount = static_cast<DWORD>(count);
        for (size_t i = 0; i < count; ++i)
            g->Groups[i] = {i % 3 ? users.get() : bad.data(), SE_GROUP_ENABLED};
        if (adminAt >= 0)
            g->Groups[adminAt] = {admins.get(), attributes};
        return buffer;
    };
    struct Case {
        size_t count;
        long adminAt;
        DWORD attributes;
        bool expected;
    } cases[] = {
        {150, 149, SE_GROUP_ENABLED, true},
        {150, 0, SE_GROUP_USE_FOR_DENY_ONLY, true},
        {8, 5, 0, true}, // disabled
        {150, -1, 0, false},
        {0, -1, 0, false},
    };
    for (const auto& c : cases) {
        auto buffer = groups(c.count, c.adminAt, c.attributes);
        EXPECT_EQ(MCheckAdmin::GroupsContain(*reinterpret_cast<TOKEN_GROUPS*>(buffer.data()),
                                             admins.get()),
                  c.expected)
            << c.count << " groups, admin at " << c.adminAt;
    }
    auto buffer = groups(4, 3, 0);
    EXPECT_FALSE(
        MCheckAdmin::GroupsContain(*reinterpret_cast<TOKEN_GROUPS*>(buffer.data()), bad.data()));
}

namespace {

std::map<std::string, int> RunProbe(const std::string& version) {
    testsupport::WineVersionFor as("platform_probe.exe", version);
    testsupport::ChildProcess probe(PLATFORM_PROBE_EXE);
    EXPECT_EQ(probe.Wait(20000), 0u) << version;
    std::map<std::string, int> answers;
    std::istringstream lines(probe.Output());
    for (std::string line; std::getline(lines, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            answers[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
    return answers;
}

} // namespace

// The real calls under each version Wine can report; the token is walked below NT 6, also
// when the thread impersonates.
TEST(PlatformChecks, UnderEachWindowsVersion) {
    struct Case {
        const char* version;
        int w2000, xp, w2003, vista;
    } cases[] = {
        {"win98", 0, 0, 0, 0},   {"win2k", 1, 0, 0, 0}, {"winxp", 0, 1, 0, 0},
        {"win2003", 0, 0, 1, 0}, {"vista", 0, 0, 0, 1}, {"win7", 0, 0, 0, 1},
        {"win8", 0, 0, 0, 1},
    };
    for (const auto& c : cases) {
        auto a = RunProbe(c.version);
        std::map<std::string, int> expected = {
            {"IsWin2000", c.w2000},   {"IsWinXP", c.xp},    {"IsWin2003", c.w2003},
            {"IsWin2003R2", 0},       {"IsVista", c.vista}, {"IsAdmin", 1},
            {"ProcessTokenAdmin", 1}, {"Impersonating", 1}, {"ImpersonatingIsAdmin", 1},
        };
        EXPECT_EQ(a, expected) << c.version;
    }
}
