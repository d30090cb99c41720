// The real tavelin.exe started with arguments as a script or a person starts it.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>

#include "core/MCommandLine.h"
#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

using CommandLineTest = CleanLayout;

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

// Commands that write no value: output (German in code page 850), code, values and files after.
TEST_F(CommandLineTest, CommandsAgainstTheStoredValues) {
    enum Setup { kPlain, kDenyRead, kDenyWrite, kLockHeld, kLockForeign, kWin98 };
    const Value none, empty = Bytes{}, text = Bytes{'a', 0}; // text: stored as REG_SZ
    const Value locked = MapOf("2A003A00 1D0052E0"), insertLocked = MapOf("1D0052E0");
    const std::string folder = TempPath("tavelin-cli"), file = folder + "\\keys.reg",
                      kept = folder + "\\kept.reg";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& old : {file, kept})
        std::ofstream(old, std::ios::binary) << "old";
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);
    struct Case {
        Setup setup = kPlain;
        bool german = false;
        Value map = MapOf("2A003A00"), backup; // both kept; CapsLock sends left Shift
        std::string args;
        DWORD code = 0;
        std::string output; // a part that tells the answer apart
    };
    // clang-format off
    const Case cases[] = {
        // Written here behind the program's back: what is in effect is not known.
        {.map = locked, .backup = empty, .args = "/STATUS", .output = "\r\nINSERT=LOCKED (new code "
             "1D00)\r\nSCROLL=SCROLL\r\nBACKUP=YES\r\nRESTART=UNKNOWN\r\nMAPBYTES=00000000000000"
             "00030000002A003A001D0052E000000000\r\nBACKUPBYTES=\r\n"},
        {.setup = kLockForeign, .german = true, .args = "/check CAPSLOCK=TAB SCROLL=SCROLL",
         .code = 1, .output = "CAPSLOCK hat die Funktion LSHIFT, nicht TAB.\r\n"},
        {.setup = kDenyRead, .args = "/check CAPSLOCK=TAB", .code = 3,
         .output = "Tavelin could not read the keyboard map"},
        {.args = "/restore /restartcodes", .code = 2,
         .output = "There is no backup to restore. Nothing was written.\r\n"},
        {.setup = kDenyWrite, .args = "/set CAPSLOCK=TAB /restartcodes", .code = 3,
         .output = "Error 26001 (tavelin.cRegistry): Failed to set registry value"},
        {.backup = text, .args = "/restore", .code = 2,
         .output = "The stored TVLN Backup is not a binary value"},
        {.german = true, .backup = text, .args = "/set CAPSLOCK=TAB", .code = 2,
         .output = "Der gespeicherte Wert TVLN Backup ist kein Bin\x84rwert"},
        {.setup = kLockHeld, .args = "/set CAPSLOCK=TAB", .code = 2,
         .output = "The keyboard map was changed by another program"},
        {.setup = kLockForeign, .german = true, .args = "/set CAPSLOCK=TAB", .code = 3,
         .output = "Fehler -2147194363 (tavelin.KeyEdit): Tavelin konnte die Sperre nicht nehmen"},
        {.setup = kWin98, .args = "/status", .code = 4,
         .output = "This program runs only on Windows 2000, XP, 2003 and Vista.\r\n"},
        {.setup = kWin98, .map = none, .args = "/?",
         .output = MCommandLine::UsageText(Language::English)},
        {.map = insertLocked, .args = "/export \"" + file + "\" CAPSLOCK=LSHIFT",
         .output = "Written: " + file + "\r\n"},
        {.german = true, .map = none, .args = "/export \"" + kept + "\"", .code = 1,
         .output = "Die Datei kann nicht geschrieben werden: " + kept + " (Fehler 5: Zugriff "
             "verweigert.)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + (c.german ? " DE " : " EN ") + std::to_string(c.setup));
        WriteValue(kMap, c.map);
        WriteValue(kBackup, c.backup, HKEY_LOCAL_MACHINE, kLayoutKey,
                   c.backup == text ? REG_SZ : REG_BINARY);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
        RunResult run;
        { // what the setup denies or holds only while the program runs
            std::optional<DeniedLayoutKey> deny;
            UniqueHandle lock; // the writers' lock, made by this thread with this descriptor
            std::optional<testsupport::WineVersionFor> version;
            if (c.setup == kDenyRead || c.setup == kDenyWrite)
                deny.emplace(c.setup == kDenyRead ? KEY_QUERY_VALUE : KEY_SET_VALUE);
            if (c.setup == kLockHeld || c.setup == kLockForeign) {
                PSECURITY_DESCRIPTOR sd = nullptr;
                ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                    c.setup == kLockHeld ? L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"
                                         : L"O:BUD:(A;;GA;;;WD)",
                    SDDL_REVISION_1, &sd, nullptr);
                SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
                lock.reset(::CreateMutexW(&sa, TRUE, L"Global\\Tavelin.KeyboardLayout.Writer"));
                ::LocalFree(sd);
            }
            if (c.setup == kWin98)
                version.emplace("tavelin.exe", "win98");
            run = RunTavelin(c.args, {{"LC_ALL", kLocale[c.german]}});
        }
        if (c.args.starts_with("/check")) { // not even the record of the start
            EXPECT_FALSE(RecordExists()) << "wrote a record";
        }
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
        EXPECT_EQ(ReadValue(kMap), c.map);
        EXPECT_EQ(ReadValue(kBackup), c.backup);
    }
    // The locked key's entry kept first; a .reg file's bytes: RegFileAndStatusDetails.
    const Bytes reg = MCommandLine::Utf16LeWithBom(MCommandLine::RegFileText("1D0052E02A003A00"));
    EXPECT_EQ(FileBytes(file), std::string(reg.begin(), reg.end()));
    EXPECT_EQ(FileBytes(kept), "old");
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::string& made : {file, kept})
        ::DeleteFileA(made.c_str());
    EXPECT_TRUE(::RemoveDirectoryA(folder.c_str())) << "a temporary file was left behind";
}

// Each function of the catalogue written as its own scan code and read back by its name.
TEST_F(CommandLineTest, EveryFunctionWritesItsScanCode) {
    const std::pair<std::string, const char*> cases[] = {
        {"CAPSLOCK=LWIN INSERT=DISABLED SCROLL=APP", "5BE03A00 000052E0 5DE04600"},
        {"CAPSLOCK=RWIN INSERT=CALCULATOR SCROLL=COMPUTER", "5CE03A00 21E052E0 6BE04600"},
        {"CAPSLOCK=LSHIFT INSERT=MUTE SCROLL=MEDIAPLAYPAUSE", "2A003A00 20E052E0 22E04600"},
        {"CAPSLOCK=TAB INSERT=WEBHOME SCROLL=WEBSEARCH", "0F003A00 32E052E0 65E04600"},
    };
    for (const auto& [choice, entries] : cases) {
        SCOPED_TRACE(choice);
        EXPECT_EQ(RunTavelin("/set " + choice).code, 0u);
        EXPECT_EQ(ReadValue(kMap), MapOf(entries));
        const std::string keys = std::regex_replace(choice + " ", std::regex(" "), "\r\n");
        EXPECT_TRUE(RunTavelin("/status").output.starts_with(keys));
    }
}

// German on every system locale that the language rule names, English on their neighbours.
TEST_F(CommandLineTest, GermanOnEveryGermanLocaleOnly) {
    for (const std::string locale :
         {"de_DE", "de_CH", "de_AT", "de_LU", "de_LI", "fr_CH", "nl_BE"}) {
        SCOPED_TRACE(locale);
        EXPECT_TRUE(RunTavelin("/set CAPSLOCK=CAPSLOCK", {{"LC_ALL", locale + ".UTF-8"}})
                        .output.starts_with(locale.starts_with("de_") ? "Die Tasten" : "The keys"));
    }
}

// Started with no output to write to, as from a shortcut (arguments without a switch: an unquoted
// path's tail). Start-up marks leave only through an inherited pipe the variable names.
TEST_F(CommandLineTest, StartedWithoutRedirectedOutput) {
    const std::string file = TempPath("keys-\xD0\xB6.reg"), trace = TempPath("tavelin-trace.txt");
    enum Shown { kConsole, kBox, kWindow };
    enum Trace { kNoTrace, kPath, kFileHandle, kPipe };
    const std::tuple<Shown, std::string, Trace, DWORD, std::string> cases[] = {
        {kConsole, "/export \"" + file + "\"", kNoTrace, 0, "Written: " + file},
        {kBox, "/status /stats", kNoTrace, 1, "Unknown switch: /stats (usage: tavelin /?)"},
        {kWindow, "Files\\Tavelin\\tavelin.exe", kPath, 0, "Tavelin 2.0"},
        {kWindow, "", kFileHandle, 0, "Tavelin 2.0"},
        {kWindow, "", kPipe, 0, "Tavelin 2.0"},
    };
    HANDLE standard[] = {::GetStdHandle(STD_INPUT_HANDLE), ::GetStdHandle(STD_OUTPUT_HANDLE),
                         ::GetStdHandle(STD_ERROR_HANDLE)};
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    for (const auto& [shown, args, traced, code, text] : cases) {
        SCOPED_TRACE(args + " " + std::to_string(traced));
        ::FreeConsole();
        ASSERT_TRUE(shown != kConsole || ::AllocConsole());
        ::DeleteFileA(trace.c_str());
        UniqueHandle handed, reader;
        if (traced == kFileHandle)
            handed.reset(::CreateFileA(trace.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (traced == kPipe)
            ::CreatePipe(reader.put(), handed.put(), &inheritable, 4096);
        const std::string variable = traced == kPath ? trace
                                     : handed        ? std::to_string(std::uintptr_t(handed.get()))
                                                     : "";
        ::SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", traced ? variable.c_str() : nullptr);
        std::wstring line = L"\"Z:" TAVELIN_EXE "\" " + MText::Utf8ToWide(args);
        STARTUPINFOW si{sizeof si};
        si.dwFlags = STARTF_USESTDHANDLES; // none: nothing redirected
        PROCESS_INFORMATION pi{};
        const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, bool(handed),
                                              0, nullptr, nullptr, &si, &pi);
        ::SetEnvironmentVariableA("TAVELIN_STARTUP_TRACE", nullptr);
        handed.reset(); // the pipe then ends with the program
        ASSERT_TRUE(started);
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        wchar_t seen[200] = {};
        if (HWND window = testsupport::FindTopLevel(
                pi.dwProcessId, shown == kBox ? L"#32770" : nullptr,
                shown == kWindow ? L"Tavelin 2.0" : nullptr, shown == kConsole ? 0 : 15000)) {
            HWND words = shown == kBox ? ::GetDlgItem(window, 0xFFFF) : window;
            ::SendMessageW(words, WM_GETTEXT, 200, reinterpret_cast<LPARAM>(seen));
            if (shown == kBox)
                MoveMouse(CentreOf(::GetDlgItem(window, IDOK)), true);
            else
                ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        testsupport::HandleMessagesUntil(
            [&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 15000);
        DWORD exit = 99, read = 0;
        ::GetExitCodeProcess(process.get(), &exit);
        ::TerminateProcess(process.get(), 99); // with whatever it left open
        ::DeleteFileW(MText::Utf8ToWide(file).c_str());
        EXPECT_EQ(exit, code);
        EXPECT_EQ(shown == kConsole ? testsupport::ConsoleText() : MText::WideToUtf8(seen), text);
        char marks[4096] = {};
        if (traced == kPipe)
            ::ReadFile(reader.get(), marks, sizeof marks - 1, &read, nullptr);
        EXPECT_EQ(FileBytes(trace),
                  traced == kFileHandle ? std::optional(std::string()) : std::nullopt);
        EXPECT_EQ(std::string(marks).starts_with("entry ") && std::strstr(marks, "\nshown "),
                  traced == kPipe)
            << marks;
    }
    ::DeleteFileA(trace.c_str());
    ::FreeConsole();
    for (const DWORD kind : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        ::SetStdHandle(kind, standard[STD_INPUT_HANDLE - kind]);
}

// A session on one machine, with the codes deployment tools read with /restartcodes.
TEST_F(CommandLineTest, SessionAcrossRestarts) {
    const std::string later = "\r\nThe change takes effect when the computer restarts.\r\n";
    // Restart first?, the command, its code (a Unix shell's low byte), the answer's telling part.
    const std::tuple<bool, std::string, DWORD, std::string> steps[] = {
        {false, "/set CAPSLOCK=LSHIFT /restartcodes", 3010 % 256, "Saved." + later},
        {false, "/status", 0, "\r\nRESTART=PENDING\r\n"},
        {false, "/set CAPSLOCK=CAPSLOCK /restartcodes", 0, "The map stored is the one in effect"},
        {false, "/set CAPSLOCK=LSHIFT", 0, "Saved." + later},
        {true, "/status", 0, "\r\nRESTART=NO\r\n"},
        {false, "/restore", 0, "Restored." + later},
        {false, "/status", 0, "\r\nRESTART=PENDING\r\n"},
    };
    NewStart();
    for (const auto& [restart, args, code, output] : steps) {
        SCOPED_TRACE(args + (restart ? " after a restart" : ""));
        if (restart)
            NewStart();
        const RunResult run = RunTavelin(args);
        EXPECT_EQ(run.code, code);
        EXPECT_NE(run.output.find(output), std::string::npos) << run.output;
    }
    // A restart requested: 1641, which a Unix shell does not see whole (Wine's is a stub).
    EXPECT_EQ(RunLine("\"Z:" TAVELIN_EXE "\" /set CAPSLOCK=TAB /restart /restartcodes"), 1641u);
}

// The manual's map deletion frees a key locked by another tool's mapping; its removal commands
// delete all that a save and the window (CleanLayout's setting) leave, and not the map.
TEST_F(CommandLineTest, ManualFreesLockedKeysAndRemovesTheProgram) {
    const char* kSource = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin";
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSource); // earlier saves': only this one may register it
    const Value locked = MapOf("20E04600 22E04600");
    const std::set<std::string> deletes = ManualRegDeletes(true);
    ASSERT_FALSE(deletes.empty()) << "the manual names no command that deletes the map";
    const std::string& freeing = *deletes.begin();
    WriteValue(kMap, locked);
    EXPECT_EQ(RunTavelin("/set SCROLL=APP").code, 2u);
    EXPECT_EQ(ReadValue(kMap), locked);
    EXPECT_EQ(RunLine(freeing), 0u) << freeing;
    EXPECT_EQ(RunTavelin("/set SCROLL=APP").code, 0u);
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
