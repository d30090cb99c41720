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
    const std::string gone = "C:\\gone\\tavelin.exe";
    const struct {
        std::string before;
        DWORD type;
        bool written;
        std::string after;
    } cases[] = {
        {.before = "none", .type = REG_NONE, .written = true, .after = self},
        {.before = other, .type = REG_EXPAND_SZ, .written = false, .after = other},
        {.before = plain, .type = REG_SZ, .written = false, .after = plain},
        {.before = other + ";" + self,
         .type = REG_EXPAND_SZ,
         .written = false,
         .after = other + ";" + self},
        {.before = gone, .type = REG_SZ, .written = true, .after = self},
        {.before = other + ";" + gone, .type = REG_EXPAND_SZ, .written = true, .after = self},
        {.before = "", .type = REG_EXPAND_SZ, .written = true, .after = self},
    };
    for (const auto& [before, type, written, after] : cases) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSource);
        if (before != "none")
            SHSetValueA(HKEY_LOCAL_MACHINE, kSource, "EventMessageFile", type, before.c_str(),
                        before.size() + 1);
        EXPECT_EQ(MEventLog::RegisterSource(), written) << before;
        char stored[1024] = {}; // as stored: SHGetValue would expand the environment references
        DWORD size = sizeof stored;
        RegGetValueA(HKEY_LOCAL_MACHINE, kSource, "EventMessageFile", RRF_RT_ANY | RRF_NOEXPAND,
                     nullptr, stored, &size);
        EXPECT_EQ(stored, after) << before;
    }
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSource);
}
