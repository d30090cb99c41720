#include <gtest/gtest.h>

#include "app/MDllSearch.h"
#include "win32/Seam.h"

using enum MDllSearch::Restriction;

namespace {

// The functions this fake Windows has ("refused": SetDefaultDllDirectories fails); the calls.
std::string g_functions, g_calls;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
    g_calls += "SetDefaultDllDirectories(" + std::to_string(flags) + ") ";
    return g_functions.find("refused") == std::string::npos;
}
BOOL WINAPI FakeSetDllDirectoryW(LPCWSTR path) {
    g_calls += path && !*path ? "SetDllDirectoryW(\"\") " : "SetDllDirectoryW(?) ";
    return TRUE;
}
FARPROC FakeLookup(const char* name) {
    if (g_functions.find(name) == std::string::npos)
        return nullptr;
    return name == std::string("SetDllDirectoryW")
               ? reinterpret_cast<FARPROC>(&FakeSetDllDirectoryW)
               : reinterpret_cast<FARPROC>(&FakeSetDefaultDllDirectories);
}

} // namespace

// XP SP1 to 7, Windows 2000, a refused strongest one: the strongest restriction there is.
TEST(DllSearch, StrongestRestrictionThisWindowsHas) {
    const struct {
        const char* has;   // the functions this Windows has
        std::string calls; // none: no restriction, else the current folder left out
    } cases[] = {
        {.has = "SetDllDirectoryW", .calls = "SetDllDirectoryW(\"\") "},
        {.has = "", .calls = ""},
        {.has = "SetDefaultDllDirectories refused, SetDllDirectoryW",
         .calls = "SetDefaultDllDirectories(2048) SetDllDirectoryW(\"\") "},
    };
    const Seam<MDllSearch::Calls>::Override fake({&FakeLookup});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.has);
        g_functions = c.has;
        g_calls.clear();
        EXPECT_EQ(MDllSearch::RestrictDllSearch(), c.calls.empty() ? None : NoCurrentFolder);
        EXPECT_EQ(g_calls, c.calls);
    }
}

// For real (this process keeps it): a DLL beside the program loads before, not after.
TEST(DllSearch, PlantedDllBesideTheProgramIsNotLoaded) {
    HMODULE planted = ::LoadLibraryW(L"tvlnplanted.dll");
    ASSERT_TRUE(planted) << "the planted DLL must load before the restriction";
    ::FreeLibrary(planted);
    EXPECT_EQ(MDllSearch::RestrictDllSearch(), SystemFolderOnly);
    EXPECT_EQ(::LoadLibraryW(L"tvlnplanted.dll"), nullptr);
    EXPECT_TRUE(::LoadLibraryW(L"version.dll"));
}
