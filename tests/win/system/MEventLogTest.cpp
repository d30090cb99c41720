#include <gtest/gtest.h>

#include <shlwapi.h>

#include "system/MEventLog.h"

// Registered when absent or its file is gone; one naming an existing file (another program's,
// either kind of text) is never replaced.
TEST(EventLogSource, RegisteredOnlyWhenAbsentOrItsFileIsGone) {
    constexpr char kSource[] =
        "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin";
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string other = "%SystemRoot%\\system32\\kernel32.dll";
    const std::string plain = "C:\\windows\\system32\\kernel32.dll";
    const struct {
        std::string was;
        DWORD type;
        bool written; // else kept as it was
    } cases[] = {
        {.was = "none", .type = REG_NONE, .written = true},
        {.was = other, .type = REG_EXPAND_SZ, .written = false},
        {.was = plain, .type = REG_SZ, .written = false},
        {.was = other + ";" + self, .type = REG_EXPAND_SZ, .written = false},
        {.was = other + ";C:\\gone\\tavelin.exe", .type = REG_EXPAND_SZ, .written = true},
        {.was = "", .type = REG_EXPAND_SZ, .written = true},
    };
    for (const auto& [before, type, written] : cases) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSource);
        if (before != "none")
            SHSetValueA(HKEY_LOCAL_MACHINE, kSource, "EventMessageFile", type, before.c_str(),
                        before.size() + 1);
        EXPECT_EQ(MEventLog::RegisterSource(), written) << before;
        char stored[1024] = {}; // as stored: SHGetValue would expand the environment references
        DWORD size = sizeof stored;
        RegGetValueA(HKEY_LOCAL_MACHINE, kSource, "EventMessageFile", RRF_RT_ANY | RRF_NOEXPAND,
                     nullptr, stored, &size);
        EXPECT_EQ(stored, written ? self : before) << before;
        DWORD types = 0;
        size = sizeof types;
        RegGetValueA(HKEY_LOCAL_MACHINE, kSource, "TypesSupported", RRF_RT_DWORD, nullptr, &types,
                     &size);
        EXPECT_EQ(types, written ? 7u : 0u) << before; // errors, warnings and information
    }
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSource);
}
