// The real tavelin.exe started with arguments as a script or a person starts it: what it prints
// or shows, its exit code, the registry, the event log and the files. Nothing passes /restart.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <regex>

#include "core/MCommandLine.h"
#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

using CommandLineTest = CleanLayout;

const Value kCaps = MapOf("2A003A00"); // CapsLock sends left Shift

testsupport::Env::value_type Locale(bool german) {
    return {"LC_ALL", german ? "de_DE.UTF-8" : "en_US.UTF-8"};
}

// The writers' lock held by this thread as another Tavelin holds it (its name, owner and access
// list), or made first by someone else (sddl: that one's descriptor).
struct WriterLock {
    UniqueHandle mutex;
    explicit WriterLock(const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr);
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        mutex.reset(::CreateMutexW(&sa, TRUE, L"Global\\Tavelin.KeyboardLayout.Writer"));
        ::LocalFree(sd);
    }
    ~WriterLock() { ::ReleaseMutex(mutex.get()); }
};
} // namespace

// Each command against the values found, in the system's language: output (German in code page
// 850), exit code, log entries and both values afterwards, byte for byte. A registry that refuses
// is a failure, never a success; a lock held by another writer is waited for, one made by another
// account is not trusted; /export writes as regedit does and leaves a file it cannot write as it
// was; /check writes nothing, not even the record. What each command decides is the native
// CommandLineTest's; these prove what reaches the registry, the log, files and console.
TEST_F(CommandLineTest, CommandsAgainstTheStoredValues) {
    enum Setup { kPlain, kDenyRead, kDenyWrite, kLockHeld, kLockForeign, kWin98 };
    const Value none, empty = Bytes{}, text = Bytes{'a', 0}; // text: stored as REG_SZ
    const Value locked = MapOf("2A003A00 1D0052E0"), insertLocked = MapOf("1D0052E0");
    const Value badCount = FromHex("0000000000000000 05000000 2A003A00 00000000");
    const Value flagged = FromHex("0000000001000000 02000000 1D003A00 00000000");
    const std::string folder = TempPath("tavelin-cli"), file = folder + "\\keys.reg",
                      kept = folder + "\\kept.reg", missing = folder + "\\missing\\keys.reg";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& old : {file, kept})
        std::ofstream(old, std::ios::binary) << "old";
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string pad(100, ' '),
        later = "Die \x8Enderung wird nach einem Neustart des Rechners wirksam.\r\n";
    struct Case {
        Setup setup = kPlain;
        bool german = false;
        Value map = kCaps, backup; // before; both kept unless the case writes
        std::string args;
        DWORD code = 0;
        std::string output;
        bool writes = false;
        Value mapAfter, backupAfter;
        std::string logged; // the event-log entries, each ended by '|'
    };
    // clang-format off
    const Case cases[] = {
        // Written here behind the program's back: what is in effect is not known.
        {.map = locked, .backup = empty, .args = "/STATUS", .output =
             "CAPSLOCK=LSHIFT\r\nINSERT=LOCKED (new code 1D00)\r\nSCROLL=SCROLL\r\nBACKUP=YES\r\n"
             "RESTART=UNKNOWN\r\nMAPBYTES=0000000000000000030000002A003A001D0052E000000000\r\n"
             "BACKUPBYTES=\r\n"},
        {.setup = kLockForeign, .german = true, .args = "/check CAPSLOCK=TAB SCROLL=SCROLL",
         .code = 1, .output = "CAPSLOCK hat die Funktion LSHIFT, nicht TAB.\r\n"},
        {.setup = kDenyRead, .args = "/check CAPSLOCK=TAB", .code = 3, .output =
             "Tavelin could not read the keyboard map or its backup and changes nothing.\r\n"},
        {.args = "/restore /restartcodes", .code = 2,
         .output = "There is no backup to restore. Nothing was written.\r\n"},
        {.setup = kDenyWrite, .args = "/set CAPSLOCK=TAB /restartcodes", .code = 3, .output =
             "Error 26001 (tavelin.cRegistry): Failed to set registry value Key: '-2147483646',"
             "Section: 'System\\CurrentControlSet\\Control\\Keyboard Layout\\',Key: 'TVLN Backup' "
             "to value: ''\r\n"},
        {.german = true, .map = MapOf("1D004600"), .args = "/set insert=mute",
         .output = "Gespeichert.\r\n" + later, .writes = true,
         .mapAfter = MapOf("1D004600 20E052E0"), .backupAfter = MapOf("1D004600"), .logged =
             "Belegung der CapsLock-Taste geändert zu: Standard (normale CapsLock-Funktion)" + pad +
             "|Belegung der Einfügen-Taste geändert zu: Ton ein/aus" + pad +
             "|Belegung der Rollen-Taste geändert zu: |"},
        {.german = true, .args = "/set CAPSLOCK=LSHIFT",
         .output = "Die Tasten haben diese Funktionen schon; es wurde nichts geschrieben.\r\n"},
        {.map = badCount, .args = "/set CAPSLOCK=TAB", .code = 2, .output =
             "The stored Scancode Map is not well formed; Tavelin does not rewrite it. Nothing was "
             "written.\r\n"},
        {.german = true, .backup = flagged, .args = "/restore", .output =
             "Wiederhergestellt.\r\n" + later, .writes = true, .mapAfter = flagged, .logged =
             "Ursprüngliche Einstellungen wiederhergestellt: die Belegung von vor Tavelins "
             "erster Änderung ist zurückgeschrieben, die Sicherung gelöscht.|"},
        {.setup = kDenyRead, .german = true, .args = "/set CAPSLOCK=TAB", .code = 3, .output =
             "Tavelin konnte die Tastaturbelegung oder ihre Sicherung nicht lesen und \x84ndert "
             "nichts.\r\n"},
        {.backup = text, .args = "/restore", .code = 2, .output =
             "The stored TVLN Backup is not a binary value: Tavelin does not restore it, nor "
             "change the map while it cannot be restored. Nothing was written.\r\n"},
        {.german = true, .backup = text, .args = "/set CAPSLOCK=TAB", .code = 2, .output =
             "Der gespeicherte Wert TVLN Backup ist kein Bin\x84rwert: Tavelin stellt ihn nicht "
             "wieder her und \x84ndert die Belegung nicht, solange er nicht wiederhergestellt "
             "werden kann. Es wurde nichts geschrieben.\r\n"},
        {.setup = kLockHeld, .args = "/set CAPSLOCK=TAB", .code = 2, .output =
             "The keyboard map was changed by another program since Tavelin started. Nothing was "
             "saved.\r\n"},
        {.setup = kLockForeign, .german = true, .args = "/set CAPSLOCK=TAB", .code = 3, .output =
             "Fehler -2147194363 (tavelin.KeyEdit): Tavelin konnte die Sperre nicht nehmen, die "
             "zwei Schreiber der Tastaturbelegung voneinander trennt (Systemfehler 1307); es wurde "
             "nichts gespeichert.\r\n"},
        {.setup = kWin98, .args = "/status", .code = 4,
         .output = "This program runs only on Windows 2000, XP, 2003 and Vista.\r\n"},
        {.setup = kWin98, .map = none, .args = "/?",
         .output = MCommandLine::UsageText(Language::English)},
        {.map = insertLocked, .args = "/export \"" + file + "\" CAPSLOCK=LSHIFT",
         .output = "Written: " + file + "\r\n"},
        {.map = insertLocked, .args = "/export \"" + file + "\" INSERT=APP", .code = 2,
         .output = "INSERT is locked (new code 1D00). Nothing was written.\r\n"},
        {.map = none, .args = "/export \"" + missing + "\"", .code = 1,
         .output = "The file cannot be written: " + missing + " (error 2: File not found.)\r\n"},
        {.german = true, .map = none, .args = "/export \"" + kept + "\"", .code = 1, .output =
             "Die Datei kann nicht geschrieben werden: " + kept +
             " (Fehler 5: Zugriff verweigert.)\r\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + (c.german ? " DE " : " EN ") + std::to_string(c.setup));
        WriteValue(kMap, c.map);
        WriteValue(kBackup, c.backup, HKEY_LOCAL_MACHINE, kLayoutKey,
                   c.backup == text ? REG_SZ : REG_BINARY);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
        RunResult run;
        const DWORD start = ::GetTickCount();
        { // what the setup denies or holds only while the program runs
            std::optional<DeniedLayoutKey> deny;
            std::optional<WriterLock> lock;
            std::optional<testsupport::WineVersionFor> version;
            if (c.setup == kDenyRead || c.setup == kDenyWrite)
                deny.emplace(c.setup == kDenyRead ? KEY_QUERY_VALUE : KEY_SET_VALUE);
            if (c.setup == kLockHeld || c.setup == kLockForeign)
                lock.emplace(c.setup == kLockHeld ? L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"
                                                  : L"O:BUD:(A;;GA;;;WD)");
            if (c.setup == kWin98)
                version.emplace("tavelin.exe", "win98");
            run = RunTavelin(c.args, {Locale(c.german), kLogTrace});
        }
        if (c.setup == kLockHeld) {
            EXPECT_GE(::GetTickCount() - start, 2900u) << "did not wait for the lock";
        }
        if (c.args.starts_with("/check")) { // not even the record of the start
            EXPECT_FALSE(RecordExists()) << "wrote a record";
        }
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(LoggedEntries(run.all), c.logged);
        EXPECT_EQ(ReadValue(kMap), c.writes ? c.mapAfter : c.map);
        EXPECT_EQ(ReadValue(kBackup), c.writes ? c.backupAfter : c.backup);
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

// Each function of the catalogue written as its own scan code, on the key that offers it, and
// read back by its name (a key's own function: SessionAcrossRestarts).
TEST_F(CommandLineTest, EveryFunctionWritesItsScanCode) {
    const std::pair<std::string, const char*> cases[] = {
        // the choice, the map's entries
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
    for (const std::string locale : {"de_DE", "de_CH", "de_AT", "de_LU", "de_LI", "en_GB", "fr_CH",
                                     "it_CH", "fr_LU", "nl_BE"}) {
        SCOPED_TRACE(locale);
        EXPECT_EQ(RunTavelin("/set CAPSLOCK=CAPSLOCK", {{"LC_ALL", locale + ".UTF-8"}}).output,
                  locale.starts_with("de_")
                      ? "Die Tasten haben diese Funktionen schon; es wurde nichts geschrieben.\r\n"
                      : "The keys already have these functions; nothing was written.\r\n");
    }
}

// Started with no output to write to, as from a shortcut: answers reach the starter's console in
// UTF-16, a usage error with no console comes in a box, arguments without a switch (an unquoted
// path's tail) open the window. Start-up marks leave only through an inherited pipe that the
// variable names: the variable is the user's, so a path gets no file and a file handle nothing.
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
    const DWORD kStandard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE standard[3];
    for (int i = 0; i < 3; ++i)
        standard[i] = ::GetStdHandle(kStandard[i]);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    for (const auto& [shown, args, traced, code, text] : cases) {
        SCOPED_TRACE(args + " " + std::to_string(traced));
        ::FreeConsole();
        if (shown == kConsole) {
            ASSERT_TRUE(::AllocConsole());
        }
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
                ClickWindow(::GetDlgItem(window, IDOK));
            else
                ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        testsupport::HandleMessagesUntil(
            [&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 15000);
        DWORD exit = 99, read = 0;
        ::GetExitCodeProcess(process.get(), &exit);
        ::TerminateProcess(process.get(), 99); // with whatever it left open
        if (shown == kConsole)
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
    for (int i = 0; i < 3; ++i)
        ::SetStdHandle(kStandard[i], standard[i]);
}

// A session on one machine, with the codes deployment tools read with /restartcodes: a save waits
// for a restart (3010), a change set back does not (0). Another program's write after Tavelin's is
// measured against Tavelin's record; one before it leaves the state unknown until the next
// restart. A restart is NewStart (the record's key going with it is RestartRecordTest's).
TEST_F(CommandLineTest, SessionAcrossRestarts) {
    enum Foreign { kNothing, kWriteMute, kDeleteBoth }; // written behind the program's back first
    struct Step {
        bool restart = false;
        Foreign foreign = kNothing;
        std::string args = "/status";
        bool german = false;
        DWORD code = 0;
        std::string output = {};
    };
    const std::string later = "The change takes effect when the computer restarts.\r\n",
                      saved = "Saved.\r\n" + later;
    const DWORD kRestartNeeded = 3010 % 256; // as a Unix shell reads it: the low byte
    // clang-format off
    const Step steps[] = {
        {.output = Status(kPlainKeys, "NO", "NO", "NONE", "NONE")},
        {.args = "/set CAPSLOCK=LSHIFT /restartcodes", .code = kRestartNeeded, .output = saved},
        {.output = Status(kShiftKeys, "YES", "PENDING", kShiftBytes, "")},
        {.args = "/set CAPSLOCK=CAPSLOCK /restartcodes", .german = true, .output =
             "Gespeichert.\r\nDie gespeicherte Belegung ist schon wirksam; ein Neustart ist "
             "nicht n\x94tig.\r\n"},
        {.output = Status(kPlainKeys, "YES", "NO", "", "")},
        {.args = "/set CAPSLOCK=LSHIFT", .german = true, .output = "Gespeichert.\r\n"
             "Die \x8Enderung wird nach einem Neustart des Rechners wirksam.\r\n"},
        {.restart = true, .output = Status(kShiftKeys, "YES", "NO", kShiftBytes, "")},
        {.args = "/restore", .output = "Restored.\r\n" + later},
        {.output = Status(kPlainKeys, "NO", "PENDING", "NONE", "NONE")},
        {.foreign = kWriteMute, .output = Status(kMutedKeys, "NO", "PENDING", kMuteBytes, "NONE")},
        {.restart = true, .output = Status(kMutedKeys, "NO", "NO", kMuteBytes, "NONE")},
        {.foreign = kDeleteBoth, .output = Status(kPlainKeys, "NO", "UNKNOWN", "NONE", "NONE")},
        {.args = "/set CAPSLOCK=LSHIFT /restartcodes", .code = kRestartNeeded, .output = saved},
        {.output = Status(kShiftKeys, "YES", "UNKNOWN", kShiftBytes, "")},
        {.restart = true, .output = Status(kShiftKeys, "YES", "NO", kShiftBytes, "")},
    };
    // clang-format on
    NewStart();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args + (step.restart ? " after a restart" : ""));
        if (step.restart)
            NewStart();
        if (step.foreign == kWriteMute)
            WriteValue(kMap, FromHex(kMuteBytes));
        if (step.foreign == kDeleteBoth) {
            WriteValue(kMap, std::nullopt);
            WriteValue(kBackup, std::nullopt);
        }
        const RunResult run = RunTavelin(step.args, {Locale(step.german)});
        EXPECT_EQ(run.code, step.code);
        EXPECT_EQ(run.output, step.output);
    }
}
