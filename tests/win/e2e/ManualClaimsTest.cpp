// What the release's manual tells an administrator, shown with the shipped tavelin.exe: what
// Restore does, what locks a key and how the manual's command frees it, what removal must delete
// (run with the manual's own commands), and the exit codes that /? names which the command
// table (CommandLineTest) does not produce.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

using ManualClaimsTest = CleanLayout;

const testsupport::Env kEnglish = {{"LC_ALL", "en_US.UTF-8"}, kLogTrace};
const testsupport::Env kGerman = {{"LC_ALL", "de_DE.UTF-8"}, kLogTrace};

// The manual's "reg delete" lines (its English half; the German one has the same).
std::vector<std::string> ManualRegDeletes() {
    const std::string manual = FileBytes("Z:" TAVELIN_MANUAL).value_or("");
    std::istringstream lines(manual.substr(manual.find("\nENGLISH\n")));
    std::vector<std::string> commands;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("  reg delete "))
            commands.push_back(line.substr(2));
    return commands;
}

// A command line started as a prompt starts it; its whole exit code (a Unix shell sees one byte).
DWORD Run(std::string line) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
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

// Restore writes back the whole map from before the first change, so a mapping another tool
// added since is gone; it deletes the backup, so it works once; it writes one log entry in the
// language (the window's restore: E2eTest).
TEST_F(ManualClaimsTest, RestoreWritesBackTheWholeMapOnce) {
    struct Step {
        Value foreign = {}; // written behind the program's back first
        std::string args = {};
        testsupport::Env env = kEnglish;
        DWORD code = 0;
        Value map = {}, backup = {};
        std::optional<std::string> logged = {};
    };
    const Step steps[] = {
        {.args = "/set SCROLL=MUTE", .map = MapOf("20E04600"), .backup = Bytes{}},
        {.foreign = MapOf("20E04600 1D003A00"),
         .args = "/restore",
         .env = kGerman,
         .map = Bytes{},
         .logged = "Ursprüngliche Einstellungen wiederhergestellt: die Belegung von vor Tavelins "
                   "erster Änderung ist zurückgeschrieben, die Sicherung gelöscht.|"},
        {.args = "/restore", .code = 2, .map = Bytes{}, .logged = ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args);
        if (step.foreign)
            WriteValue(kMap, step.foreign);
        const RunResult run = RunTavelin(step.args, step.env);
        EXPECT_EQ(run.code, step.code);
        EXPECT_EQ(ReadValue(kMap), step.map);
        EXPECT_EQ(ReadValue(kBackup), step.backup);
        if (step.logged)
            EXPECT_EQ(LoggedEntries(run.all), *step.logged);
    }
}

// A key is locked by another tool's mapping, by a function offered for another key only and by
// two entries: /status names the codes it sends now, a change is refused with the map kept, and
// the manual's command that deletes the map frees it.
TEST_F(ManualClaimsTest, LockedKeysAndHowToFreeThem) {
    struct Case {
        Value map;
        std::string set, status;
    };
    const Case cases[] = {
        {.map = MapOf("1D003A00"),
         .set = "/set CAPSLOCK=TAB",
         .status = "CAPSLOCK=LOCKED (new code 1D00)\r\n"},
        {.map = MapOf("2A0052E0"),
         .set = "/set INSERT=APP",
         .status = "INSERT=LOCKED (new code 2A00)\r\n"},
        {.map = MapOf("20E04600 22E04600"),
         .set = "/set SCROLL=MUTE",
         .status = "SCROLL=LOCKED (new codes 20E0 22E0)\r\n"},
    };
    std::string freeing;
    for (const std::string& command : ManualRegDeletes())
        if (command.find("\"Scancode Map\"") != std::string::npos)
            freeing = command;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        WriteValue(kMap, c.map);
        EXPECT_NE(RunTavelin("/status").output.find(c.status), std::string::npos);
        EXPECT_EQ(RunTavelin(c.set).code, 2u);
        EXPECT_EQ(ReadValue(kMap), c.map);
        EXPECT_EQ(Run(freeing), 0u) << freeing;
        EXPECT_EQ(RunTavelin(c.set).code, 0u);
        WriteValue(kBackup, std::nullopt);
    }
}

// Everything the program leaves after the window's first start and a save lies where the
// manual's removal names it, and its commands delete all of it; the mappings stay.
TEST_F(ManualClaimsTest, RemovalDeletesWhatTheProgramLeaves) {
    const char* const kSource =
        "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin";
    const auto left = [&] {
        return std::string(ReadValue(kBackup) ? "backup|" : "") +
               (ReadValue("EventMessageFile", HKEY_LOCAL_MACHINE, kSource) ? "source|" : "") +
               (ReadValue("ShowStartupInfo", HKEY_CURRENT_USER, kSettingsKey) ? "setting|" : "") +
               (RecordExists() ? "record|" : "");
    };
    WriteValue("ShowStartupInfo", std::nullopt, HKEY_CURRENT_USER, kSettingsKey);
    {
        Tavelin app(kEnglish);
        ASSERT_TRUE(app.Main());
        app.CloseWindow();
        EXPECT_EQ(app.Wait(5000), 0u);
    }
    EXPECT_EQ(RunTavelin("/set CAPSLOCK=TAB").code, 0u);
    EXPECT_EQ(left(), "backup|source|setting|record|");
    for (const std::string& command : ManualRegDeletes())
        if (command.find("\"Scancode Map\"") == std::string::npos)
            EXPECT_EQ(Run(command), 0u) << command;
    EXPECT_EQ(left(), "");
    EXPECT_EQ(ReadValue(kMap), MapOf("0F003A00"));
}

// The codes that /? names for cases the command table does not run: a function that the key's
// list does not offer, and a restart requested (Wine's restart does nothing).
TEST_F(ManualClaimsTest, ExitCodesOfTheirCases) {
    const std::pair<const char*, DWORD> cases[] = {
        {"/set INSERT=LSHIFT", 2},
        {"/set CAPSLOCK=TAB /restart /restartcodes", 1641},
    };
    for (const auto& [args, code] : cases)
        EXPECT_EQ(Run("\"Z:" TAVELIN_EXE "\" " + std::string(args)), code) << args;
}
