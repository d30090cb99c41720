// The real tavelin.exe started with arguments as a script or a person starts it: what it prints
// or shows, its exit code, the registry, the event log and the files. Nothing passes /restart.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#include "core/MCommandLine.h"
#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

using CommandLineTest = CleanLayout;

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
    enum Setup { kPlain, kDenyRead, kDenyWrite, kTextBackup, kLockHeld, kLockForeign, kWin98 };
    const Value none, empty = Bytes{}, caps = MapOf("2A003A00"), text = Bytes{'a', 0};
    const Value locked = MapOf("2A003A00 1D0052E0"), insertLocked = MapOf("1D0052E0");
    const Value badCount = FromHex("0000000000000000 05000000 2A003A00 00000000");
    const Value flagged = FromHex("0000000001000000 02000000 1D003A00 00000000");
    const std::string folder = TempPath("tavelin-cli"), file = folder + "\\keys.reg",
                      kept = folder + "\\kept.reg", missing = folder + "\\missing\\keys.reg";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& old : {file, kept})
        std::ofstream(old, std::ios::binary) << "old";
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string pad(100, ' ');
    struct Case {
        Setup setup = kPlain;
        bool german = false;
        Value map, backup; // before
        std::string args;
        DWORD code;
        std::string output;
        Value mapAfter, backupAfter;
        std::string logged; // the event-log entries, each ended by '|'
    };
    // clang-format off
    const Case cases[] = {
        // Written here behind the program's back: what is in effect is not known.
        {.map = locked, .backup = empty, .args = "/STATUS", .code = 0, .output =
             "CAPSLOCK=LSHIFT\r\nINSERT=LOCKED (new code 1D00)\r\nSCROLL=SCROLL\r\nBACKUP=YES\r\n"
             "RESTART=UNKNOWN\r\nMAPBYTES=0000000000000000030000002A003A001D0052E000000000\r\n"
             "BACKUPBYTES=\r\n",
         .mapAfter = locked, .backupAfter = empty},
        {.setup = kLockForeign, .german = true, .map = caps,
         .args = "/check CAPSLOCK=TAB SCROLL=SCROLL", .code = 1,
         .output = "CAPSLOCK hat die Funktion LSHIFT, nicht TAB.\r\n", .mapAfter = caps},
        {.setup = kDenyRead, .map = caps, .args = "/check CAPSLOCK=TAB", .code = 3, .output =
             "Tavelin could not read the keyboard map or its backup and changes nothing.\r\n",
         .mapAfter = caps},
        {.map = caps, .args = "/restore /restartcodes", .code = 2,
         .output = "There is no backup to restore. Nothing was written.\r\n", .mapAfter = caps},
        {.setup = kDenyWrite, .map = caps, .args = "/set CAPSLOCK=TAB /restartcodes", .code = 3,
         .output =
             "Error 26001 (tavelin.cRegistry): Failed to set registry value Key: '-2147483646',"
             "Section: 'System\\CurrentControlSet\\Control\\Keyboard Layout\\',Key: 'TVLN Backup' "
             "to value: ''\r\n",
         .mapAfter = caps},
        {.german = true, .map = MapOf("1D004600"), .args = "/set insert=mute", .code = 0, .output =
             "Gespeichert.\r\nDie \x8Enderung wird nach einem Neustart des Rechners wirksam.\r\n",
         .mapAfter = MapOf("1D004600 20E052E0"), .backupAfter = MapOf("1D004600"), .logged =
             "Belegung der CapsLock-Taste geändert zu: Standard (normale CapsLock-Funktion)" + pad +
             "|Belegung der Einfügen-Taste geändert zu: Ton ein/aus" + pad +
             "|Belegung der Rollen-Taste geändert zu: |"},
        {.german = true, .map = caps, .args = "/set CAPSLOCK=LSHIFT", .code = 0,
         .output = "Die Tasten haben diese Funktionen schon; es wurde nichts geschrieben.\r\n",
         .mapAfter = caps},
        {.map = badCount, .args = "/set CAPSLOCK=TAB", .code = 2, .output =
             "The stored Scancode Map is not well formed; Tavelin does not rewrite it. Nothing was "
             "written.\r\n",
         .mapAfter = badCount},
        {.german = true, .map = caps, .backup = flagged, .args = "/restore", .code = 0, .output =
             "Wiederhergestellt.\r\nDie \x8Enderung wird nach einem Neustart des Rechners "
             "wirksam.\r\n",
         .mapAfter = flagged, .logged =
             "Ursprüngliche Einstellungen wiederhergestellt: die Belegung von vor Tavelins "
             "erster Änderung ist zurückgeschrieben, die Sicherung gelöscht.|"},
        {.setup = kDenyRead, .german = true, .map = caps, .args = "/set CAPSLOCK=TAB", .code = 3,
         .output =
             "Tavelin konnte die Tastaturbelegung oder ihre Sicherung nicht lesen und \x84ndert "
             "nichts.\r\n",
         .mapAfter = caps},
        {.setup = kTextBackup, .map = caps, .backup = text, .args = "/restore", .code = 2, .output =
             "The stored TVLN Backup is not a binary value: Tavelin does not restore it, nor "
             "change the map while it cannot be restored. Nothing was written.\r\n",
         .mapAfter = caps, .backupAfter = text},
        {.setup = kTextBackup, .german = true, .map = caps, .backup = text,
         .args = "/set CAPSLOCK=TAB", .code = 2, .output =
             "Der gespeicherte Wert TVLN Backup ist kein Bin\x84rwert: Tavelin stellt ihn nicht "
             "wieder her und \x84ndert die Belegung nicht, solange er nicht wiederhergestellt "
             "werden kann. Es wurde nichts geschrieben.\r\n",
         .mapAfter = caps, .backupAfter = text},
        {.setup = kLockHeld, .map = caps, .args = "/set CAPSLOCK=TAB", .code = 2, .output =
             "The keyboard map was changed by another program since Tavelin started. Nothing was "
             "saved.\r\n",
         .mapAfter = caps},
        {.setup = kLockForeign, .german = true, .map = caps, .args = "/set CAPSLOCK=TAB", .code = 3,
         .output =
             "Fehler -2147194363 (tavelin.KeyEdit): Tavelin konnte die Sperre nicht nehmen, die "
             "zwei Schreiber der Tastaturbelegung voneinander trennt (Systemfehler 1307); es wurde "
             "nichts gespeichert.\r\n",
         .mapAfter = caps},
        {.setup = kWin98, .map = caps, .args = "/status", .code = 4,
         .output = "This program runs only on Windows 2000, XP, 2003 and Vista.\r\n",
         .mapAfter = caps},
        {.setup = kWin98, .map = none, .args = "/?", .code = 0,
         .output = MCommandLine::UsageText(Language::English), .mapAfter = none},
        {.map = insertLocked, .args = "/export \"" + file + "\" CAPSLOCK=LSHIFT", .code = 0,
         .output = "Written: " + file + "\r\n", .mapAfter = insertLocked},
        {.map = insertLocked, .args = "/export \"" + file + "\" INSERT=APP", .code = 2,
         .output = "INSERT is locked (new code 1D00). Nothing was written.\r\n",
         .mapAfter = insertLocked},
        {.map = none, .args = "/export \"" + missing + "\"", .code = 1,
         .output = "The file cannot be written: " + missing + " (error 2: File not found.)\r\n",
         .mapAfter = none},
        {.german = true, .map = none, .args = "/export \"" + kept + "\"", .code = 1, .output =
             "Die Datei kann nicht geschrieben werden: " + kept +
             " (Fehler 5: Zugriff verweigert.)\r\n",
         .mapAfter = none},
    };
    // clang-format on
    for (const auto& [setup, german, map, backup, args, code, output, mapAfter, backupAfter,
                      logged] : cases) {
        SCOPED_TRACE(args + (german ? " DE " : " EN ") + std::to_string(setup));
        WriteValue(kMap, map);
        WriteValue(kBackup, backup, HKEY_LOCAL_MACHINE, kLayoutKey,
                   setup == kTextBackup ? REG_SZ : REG_BINARY);
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRecordKey);
        RunResult run;
        const DWORD start = ::GetTickCount();
        {
            std::optional<DeniedLayoutKey> deny;
            std::optional<WriterLock> lock;
            std::optional<testsupport::WineVersionFor> version;
            if (setup == kDenyRead || setup == kDenyWrite)
                deny.emplace(setup == kDenyRead ? KEY_QUERY_VALUE : KEY_SET_VALUE);
            if (setup == kLockHeld || setup == kLockForeign)
                lock.emplace(setup == kLockHeld ? L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"
                                                : L"O:BUD:(A;;GA;;;WD)");
            if (setup == kWin98)
                version.emplace("tavelin.exe", "win98");
            run = RunTavelin(args, {{"LC_ALL", german ? "de_DE.UTF-8" : "en_US.UTF-8"}, kLogTrace});
        }
        if (setup == kLockHeld) {
            EXPECT_GE(::GetTickCount() - start, 2900u) << "did not wait for the lock";
        }
        if (args.starts_with("/check")) { // not even the record of the start
            EXPECT_FALSE(RecordExists()) << "wrote a record";
        }
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.output, output);
        EXPECT_EQ(LoggedEntries(run.all), logged);
        EXPECT_EQ(ReadValue(kMap), mapAfter);
        EXPECT_EQ(ReadValue(kBackup), backupAfter);
    }
    const std::wstring reg = L"\xFEFF"
                             L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\"
                             L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n\"Scancode "
                             L"Map\"=hex:00,00,00,00,00,00,00,00,03,00,00,00,1d,00,52,e0,2a,00,3a,"
                             L"00,\\\r\n  00,00,00,00\r\n\r\n";
    EXPECT_EQ(FileBytes(file),
              std::string(reinterpret_cast<const char*>(reg.data()), reg.size() * 2));
    EXPECT_EQ(FileBytes(kept), "old");
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::string& made : {file, kept})
        ::DeleteFileA(made.c_str());
    EXPECT_TRUE(::RemoveDirectoryA(folder.c_str())) << "a temporary file was left behind";
}

// Each function of the catalogue written as its own scan code, on the key that offers it, and
// read back by its name (a key's own function: SessionAcrossRestarts).
TEST_F(CommandLineTest, EveryFunctionWritesItsScanCode) {
    struct Case {
        std::string choice, entries; // the map's for CapsLock, Insert and ScrollLock
    };
    const Case cases[] = {
        {.choice = "CAPSLOCK=LWIN INSERT=DISABLED SCROLL=APP",
         .entries = "5BE03A00 000052E0 5DE04600"},
        {.choice = "CAPSLOCK=RWIN INSERT=CALCULATOR SCROLL=COMPUTER",
         .entries = "5CE03A00 21E052E0 6BE04600"},
        {.choice = "CAPSLOCK=LSHIFT INSERT=MUTE SCROLL=MEDIAPLAYPAUSE",
         .entries = "2A003A00 20E052E0 22E04600"},
        {.choice = "CAPSLOCK=TAB INSERT=WEBHOME SCROLL=WEBSEARCH",
         .entries = "0F003A00 32E052E0 65E04600"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        EXPECT_EQ(RunTavelin("/set " + c.choice).code, 0u);
        EXPECT_EQ(ReadValue(kMap), MapOf(c.entries));
        std::string keys;
        std::istringstream words(c.choice);
        for (std::string word; words >> word;)
            keys += word + "\r\n";
        EXPECT_TRUE(RunTavelin("/status").output.starts_with(keys));
    }
}

// German on every system locale that the language rule names, English on their neighbours.
TEST_F(CommandLineTest, GermanOnEveryGermanLocaleOnly) {
    const std::string de = "Die Tasten haben diese Funktionen schon; es wurde nichts "
                           "geschrieben.\r\n",
                      en = "The keys already have these functions; nothing was written.\r\n";
    const std::pair<const char*, std::string> cases[] = {
        {"de_DE", de}, {"de_CH", de}, {"de_AT", de}, {"de_LU", de}, {"de_LI", de},
        {"en_GB", en}, {"fr_CH", en}, {"it_CH", en}, {"fr_LU", en}, {"nl_BE", en},
    };
    for (const auto& [locale, output] : cases) {
        SCOPED_TRACE(locale);
        EXPECT_EQ(RunTavelin("/set CAPSLOCK=CAPSLOCK", {{"LC_ALL", locale + std::string(".UTF-8")}})
                      .output,
                  output);
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
        if (shown == kConsole) {
            UniqueHandle screen(::CreateFileW(L"CONOUT$", GENERIC_READ, FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
            ::ReadConsoleOutputCharacterW(screen.get(), seen, 199, {0, 0}, &read);
            ::DeleteFileW(MText::Utf8ToWide(file).c_str());
        }
        const std::wstring shownText(seen);
        EXPECT_EQ(exit, code);
        EXPECT_EQ(MText::WideToUtf8(shownText.substr(0, shownText.find_last_not_of(L' ') + 1)),
                  text);
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
    const Step steps[] = {
        {.output = Status(kPlainKeys, "NO", "NO", "NONE", "NONE")},
        {.args = "/set CAPSLOCK=LSHIFT /restartcodes", .code = kRestartNeeded, .output = saved},
        {.output = Status(kShiftKeys, "YES", "PENDING", kShiftBytes, "")},
        {.args = "/set CAPSLOCK=CAPSLOCK /restartcodes",
         .german = true,
         .output = "Gespeichert.\r\nDie gespeicherte Belegung ist schon wirksam; ein Neustart ist "
                   "nicht n\x94tig.\r\n"},
        {.output = Status(kPlainKeys, "YES", "NO", "", "")},
        {.args = "/set CAPSLOCK=LSHIFT",
         .german = true,
         .output = "Gespeichert.\r\nDie \x8Enderung wird nach einem Neustart des Rechners "
                   "wirksam.\r\n"},
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
        const RunResult run =
            RunTavelin(step.args, {{"LC_ALL", step.german ? "de_DE.UTF-8" : "en_US.UTF-8"}});
        EXPECT_EQ(run.code, step.code);
        EXPECT_EQ(run.output, step.output);
    }
}
