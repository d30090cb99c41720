// The release's manual shown true with the shipped tavelin.exe: locked keys and how its command
// frees them, removal by its own commands, and exit codes that CommandLineTest leaves.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

using ManualClaimsTest = CleanLayout;

// The manual's "reg delete" lines (each half has them all) that delete the map, or the others.
std::set<std::string> ManualRegDeletes(bool map) {
    std::istringstream lines(FileBytes("Z:" TAVELIN_MANUAL).value_or(""));
    std::set<std::string> commands;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("  reg delete ") &&
            (line.find("\"Scancode Map\"") != line.npos) == map)
            commands.insert(line.substr(2));
    return commands;
}

// A command line started as a prompt starts it; its whole exit code (a Unix shell sees one byte).
DWORD RunLine(std::string line) {
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi))
        return ~0u;
    const UniqueHandle process(pi.hProcess), thread(pi.hThread);
    DWORD code = ~0u;
    if (::WaitForSingleObject(process.get(), 20000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.get(), &code);
    return code;
}

} // namespace

// Locked by another tool's mapping (a function offered for another key only, two entries):
// /status names the codes, a change is refused with the map kept, the manual's map deletion frees
// it. What the save then leaves, and the window's setting (CleanLayout's; E2eTest shows the window
// write it), lie where the manual's removal names them, and its commands delete all of them; the
// map stays.
TEST_F(ManualClaimsTest, LockedKeysFreedAndTheProgramRemoved) {
    const Value locked = MapOf("20E04600 22E04600");
    const std::set<std::string> deletes = ManualRegDeletes(true);
    ASSERT_FALSE(deletes.empty()) << "the manual names no command that deletes the map";
    const std::string& freeing = *deletes.begin();
    WriteValue(kMap, locked);
    EXPECT_NE(RunTavelin("/status").output.find("SCROLL=LOCKED (new codes 20E0 22E0)\r\n"),
              std::string::npos);
    EXPECT_EQ(RunTavelin("/set SCROLL=APP").code, 2u);
    EXPECT_EQ(ReadValue(kMap), locked);
    EXPECT_EQ(RunLine(freeing), 0u) << freeing;
    EXPECT_EQ(RunTavelin("/set SCROLL=APP").code, 0u);
    const char* kSource = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin";
    const auto left = [&] {
        return std::string(ReadValue(kBackup) ? "backup|" : "") +
               (ReadValue("EventMessageFile", HKEY_LOCAL_MACHINE, kSource) ? "source|" : "") +
               (ReadValue("ShowStartupInfo", HKEY_CURRENT_USER, kSettingsKey) ? "setting|" : "") +
               (RecordExists() ? "record|" : "");
    };
    EXPECT_EQ(left(), "backup|source|setting|record|");
    for (const std::string& command : ManualRegDeletes(false))
        EXPECT_EQ(RunLine(command), 0u) << command;
    EXPECT_EQ(left(), "");
    EXPECT_EQ(ReadValue(kMap), MapOf("5DE04600"));
}

// A restart requested gives 1641, which CommandLineTest does not see (Wine's restart is a stub).
TEST_F(ManualClaimsTest, RestartRequested) {
    EXPECT_EQ(RunLine("\"Z:" TAVELIN_EXE "\" /set CAPSLOCK=TAB /restart /restartcodes"), 1641u);
}
