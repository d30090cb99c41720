#include <gtest/gtest.h>

#include <string>

#include "app/MDllSearch.h"

using MDllSearch::Restriction;

namespace {

// Which functions this fake Windows has, whether they succeed, and what was called.
bool g_hasDefault, g_hasDllDirectory, g_defaultWorks;
std::string g_calls;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
    g_calls += "SetDefaultDllDirectories(" + std::to_string(flags) + ") ";
    return g_defaultWorks;
}
BOOL WINAPI FakeSetDllDirectoryW(LPCWSTR path) {
    g_calls += path && !*path ? "SetDllDirectoryW(\"\") " : "SetDllDirectoryW(?) ";
    return TRUE;
}
FARPROC FakeLookup(const char* name) {
    if (name == std::string("SetDefaultDllDirectories") && g_hasDefault)
        return reinterpret_cast<FARPROC>(&FakeSetDefaultDllDirectories);
    if (name == std::string("SetDllDirectoryW") && g_hasDllDirectory)
        return reinterpret_cast<FARPROC>(&FakeSetDllDirectoryW);
    return nullptr;
}

} // namespace

// XP SP1 to 7, Windows 2000: the strongest restriction there is, and a fall-back when the
// strongest is refused (Windows 8's own: the real case below).
TEST(DllSearch, StrongestRestrictionThisWindowsHas) {
    const std::tuple<bool, bool, bool, Restriction, std::string> cases[] = {
        {false, true, true, Restriction::NoCurrentFolder, "SetDllDirectoryW(\"\") "},
        {false, false, true, Restriction::None, ""},
        {true, true, false, Restriction::NoCurrentFolder,
         "SetDefaultDllDirectories(2048) SetDllDirectoryW(\"\") "},
    };
    for (const auto& [hasDefault, hasDllDirectory, defaultWorks, restriction, calls] : cases) {
        g_hasDefault = hasDefault, g_hasDllDirectory = hasDllDirectory;
        g_defaultWorks = defaultWorks, g_calls.clear();
        EXPECT_EQ(MDllSearch::RestrictDllSearch(&FakeLookup), restriction) << calls;
        EXPECT_EQ(g_calls, calls);
    }
}

// For real (and for good: this process keeps the restriction): a DLL beside the program loads
// by name before, not after; system DLLs still load.
TEST(DllSearch, PlantedDllBesideTheProgramIsNotLoaded) {
    HMODULE planted = ::LoadLibraryW(L"tvlnplanted.dll");
    ASSERT_TRUE(planted) << "the planted DLL must load before the restriction";
    ::FreeLibrary(planted);
    EXPECT_EQ(MDllSearch::RestrictDllSearch(), Restriction::SystemFolderOnly);
    EXPECT_EQ(::LoadLibraryW(L"tvlnplanted.dll"), nullptr);
    EXPECT_TRUE(::LoadLibraryW(L"version.dll"));
}
