// The real tavelin.exe run with arguments, its output read back: what it prints, its exit code,
// the registry values and the exported file afterwards. Nothing here passes /restart.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

using CommandLineTest = CleanLayout;

const std::string kLater = "The change takes effect when the computer restarts.\r\n";

// ASCII text as regedit writes it: UTF-16LE after the byte-order mark.
std::string Utf16File(const std::string& ascii) {
    const std::wstring wide = L"\xFEFF" + Utf8ToWide(ascii);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

} // namespace

// Each command against the map and backup found: its output, its exit code, and both values
// afterwards, byte for byte. What each command decides is the core's (native CommandLineTest);
// these cases prove what reaches the registry and the console.
TEST_F(CommandLineTest, CommandsAgainstTheStoredMap) {
    const Bytes caps = MapOf("2A003A00");
    const Bytes badCount = FromHex("0000000000000000 05000000 2A003A00 00000000");
    // A backup with flags another tool set: restored as it is, not rebuilt.
    const Bytes flagged = FromHex("0000000001000000 02000000 1D003A00 00000000");
    const Value none;
    const std::tuple<const char*, Value, Value, DWORD, std::string, Value, Value> cases[] = {
        {"/status", none, none, 0,
         "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\nBACKUP=NO\r\n", none, none},
        {"/STATUS", MapOf("2A003A00 1D0052E0"), Bytes{}, 0,
         "CAPSLOCK=LSHIFT\r\nINSERT=LOCKED (new code 1D00)\r\nSCROLL=SCROLL\r\nBACKUP=YES\r\n",
         MapOf("2A003A00 1D0052E0"), Bytes{}},
        // The first save backs up what it found, here nothing: a zero-byte backup.
        {"/set capslock=lshift", none, none, 0, "Saved.\r\n" + kLater, caps, Bytes{}},
        {"/set CAPSLOCK=TAB", badCount, none, 2,
         "The stored Scancode Map is not well formed; Tavelin does not rewrite it. Nothing was "
         "written.\r\n",
         badCount, none},
        {"/restore", caps, flagged, 0, "Restored.\r\n" + kLater, flagged, none},
        {"/restore", caps, none, 2, "There is no backup to restore. Nothing was written.\r\n", caps,
         none},
    };
    for (const auto& [args, map, backup, code, output, mapAfter, backupAfter] : cases) {
        SCOPED_TRACE(args);
        WriteValue(kMap, map);
        WriteValue(kBackup, backup);
        const RunResult run = RunTavelin(args);
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.output, output);
        EXPECT_EQ(ReadValue(kMap), mapAfter);
        EXPECT_EQ(ReadValue(kBackup), backupAfter);
    }
}

// The .reg file holds the map the choice would give, as regedit writes it; the registry stays
// as it was, and a file that cannot be written is left as it was, with nothing beside it.
TEST_F(CommandLineTest, ExportWritesTheRegFileAtomically) {
    const std::string folder = TempPath("tavelin-cli"), file = folder + "\\keys.reg",
                      kept = folder + "\\kept.reg";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\"
                             "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n";
    const Bytes found = MapOf("1D0052E0");
    WriteValue(kMap, found);
    { std::ofstream(kept, std::ios::binary) << "old"; }
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);

    // The file named, the choices, the exit code, the output, the file's bytes afterwards.
    const std::tuple<std::string, std::string, DWORD, std::string, std::optional<std::string>>
        cases[] = {
            {file, " CAPSLOCK=LSHIFT", 0, "Written: " + file + "\r\n",
             Utf16File(head + "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,03,00,00,00,1d,00,"
                              "52,e0,2a,00,3a,00,\\\r\n  00,00,00,00\r\n\r\n")},
            // Written over the earlier file; without choices, the map as found.
            {file, "", 0, "Written: " + file + "\r\n",
             Utf16File(head + "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,02,00,00,00,1d,00,"
                              "52,e0,00,00,00,00\r\n\r\n")},
            {file, " INSERT=APP", 2, "INSERT is locked (new code 1D00). Nothing was written.\r\n",
             std::nullopt},
            // Files that cannot be written (the output up to the error's text): in a missing
            // folder, read-only, a folder.
            {folder + "\\missing\\keys.reg", "", 1, "", std::nullopt},
            {kept, "", 1, "", std::nullopt},
            {folder, "", 1, "", std::nullopt},
        };
    for (auto [target, choices, code, output, bytes] : cases) {
        SCOPED_TRACE(target + choices);
        if (!bytes)
            ::DeleteFileA(file.c_str());
        const RunResult run = RunTavelin("/export \"" + target + "\"" + choices);
        if (code == 1)
            output = "The file cannot be written: " + target + " (error ";
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.output.substr(0, code == 1 ? output.size() : std::string::npos), output);
        EXPECT_EQ(FileBytes(file), bytes);
        EXPECT_EQ(ReadValue(kMap), found);
        EXPECT_EQ(ReadValue(kBackup), std::nullopt);
    }
    EXPECT_EQ(FileBytes(kept), "old");
    ::SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(kept.c_str());
    EXPECT_TRUE(::RemoveDirectoryA(folder.c_str())) << "a temporary file was left behind";
}

// While another writer holds the writers' lock, /set waits its bound and then refuses as for a
// map changed meanwhile; a lock that someone else made first (owned by another account, here
// the Users group) is not trusted: a failure, told in the system's language. Either way nothing
// is written.
TEST_F(CommandLineTest, AnotherWritersLockRefusesTheSet) {
    const std::tuple<const wchar_t*, const char*, DWORD, DWORD, std::string> cases[] = {
        {nullptr, "en_US.UTF-8", 2, 2900,
         "The keyboard map was changed by another program since Tavelin started. Nothing was "
         "saved.\r\n"},
        {L"O:BUD:(A;;GA;;;WD)", "de_DE.UTF-8", 3, 0,
         "Fehler -2147194363 (tavelin.KeyEdit): Tavelin konnte die Sperre nicht nehmen, die zwei "
         "Schreiber der Tastaturbelegung voneinander trennt (Systemfehler 1307); es wurde nichts "
         "gespeichert.\r\n"},
    };
    const Bytes caps = MapOf("2A003A00");
    for (const auto& [sddl, locale, code, waitMs, output] : cases) {
        WriteValue(kMap, caps);
        const WriterLock lock(sddl);
        const DWORD start = ::GetTickCount();
        const RunResult run = RunTavelin("/set CAPSLOCK=TAB", {{"LC_ALL", locale}});
        EXPECT_GE(::GetTickCount() - start, waitMs);
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.output, output);
        EXPECT_EQ(ReadValue(kMap), caps);
        EXPECT_EQ(ReadValue(kBackup), std::nullopt);
    }
}

// An unsupported system refuses every command with exit code 4 and the window's text; the usage
// needs no rights.
TEST_F(CommandLineTest, PlatformCheckRefusesButUsageAnswers) {
    testsupport::WineVersionFor win98("tavelin.exe", "win98");
    RunResult run = RunTavelin("/status");
    EXPECT_EQ(run.code, 4u);
    EXPECT_EQ(run.output, "This program runs only on Windows 2000, XP, 2003 and Vista.\r\n");
    run = RunTavelin("/?");
    EXPECT_EQ(run.code, 0u);
    EXPECT_TRUE(run.output.starts_with("Tavelin: gives CapsLock, Insert and ScrollLock a new "
                                       "function.\r\n\r\n  tavelin /status\r\n") &&
                run.output.ends_with("/set CAPSLOCK=LSHIFT SCROLL=MUTE /restart\r\n"))
        << run.output;
}

// Failures, refusals and a save in the system's language (German redirected in the console code
// page, 850 for Wine's German locale): the line, the exit code, the event-log entries (a save's
// three, each shown through the program's message table; none otherwise), and a map changed only
// by a save. A registry that refuses to be read or written (its access list denies it) is a
// failure, never a success or a map that is not well formed; a backup that is not binary is a
// refusal.
TEST_F(CommandLineTest, OutcomesInTheSystemsLanguage) {
    const std::string unreadable =
                          "Tavelin could not read the keyboard map or its backup and changes "
                          "nothing.\r\n",
                      nichtLesbar = "Tavelin konnte die Tastaturbelegung oder ihre Sicherung "
                                    "nicht lesen und \x84ndert nichts.\r\n",
                      pad(100, ' ');
    const Bytes caps = MapOf("2A003A00");
    // German, the rights denied, the map, whether a text stands as the backup, the arguments;
    // the exit code, the output and the entries logged.
    const std::tuple<bool, DWORD, Value, bool, const char*, DWORD, std::string, std::string>
        cases[] = {
            {false, KEY_QUERY_VALUE, caps, false, "/status", 3, unreadable, ""},
            {true, KEY_QUERY_VALUE, caps, false, "/set CAPSLOCK=TAB", 3, nichtLesbar, ""},
            {false, KEY_SET_VALUE, caps, false, "/set CAPSLOCK=TAB", 3,
             "Error 26001 (tavelin.cRegistry): Failed to set registry value Key: '-2147483646',"
             "Section: 'System\\CurrentControlSet\\Control\\Keyboard Layout\\',Key: 'TVLN Backup' "
             "to value: ''\r\n",
             ""},
            {true, KEY_SET_VALUE, caps, false, "/set CAPSLOCK=TAB", 3,
             "Fehler 26001 (tavelin.cRegistry): Ein Wert der Registry konnte nicht geschrieben "
             "oder gel\x94scht werden.\r\n",
             ""},
            {false, 0, caps, true, "/restore", 2,
             "The stored TVLN Backup is not a binary value: Tavelin does not restore it, nor "
             "change the map while it cannot be restored. Nothing was written.\r\n",
             ""},
            {true, 0, caps, true, "/set CAPSLOCK=TAB", 2,
             "Der gespeicherte Wert TVLN Backup ist kein Bin\x84rwert: Tavelin stellt ihn nicht "
             "wieder her und \x84ndert die Belegung nicht, solange er nicht wiederhergestellt "
             "werden kann. Es wurde nichts geschrieben.\r\n",
             ""},
            {true, 0, caps, false, "/set CAPSLOCK=LSHIFT", 0,
             "Die Tasten haben diese Funktionen schon; es wurde nichts geschrieben.\r\n", ""},
            // Keys not named are logged with their functions as found.
            {true, 0, MapOf("1D004600"), false, "/set insert=mute", 0,
             "Gespeichert.\r\nDie \x8Enderung wird nach einem Neustart des Rechners wirksam.\r\n",
             "Belegung der CapsLock-Taste geändert zu: Standard (normale CapsLock-Funktion)" + pad +
                 "|Belegung der Einfügen-Taste geändert zu: Ton ein/aus" + pad +
                 "|Belegung der Rollen-Taste geändert zu: |"},
        };
    for (const auto& [german, denied, map, textBackup, args, code, output, logged] : cases) {
        SCOPED_TRACE(std::string(args) + (german ? " DE " : " EN ") + std::to_string(denied));
        WriteValue(kMap, map);
        WriteValue(kBackup, textBackup ? Value(Bytes{'a', 0}) : std::nullopt, HKEY_LOCAL_MACHINE,
                   kLayoutKey, REG_SZ);
        RunResult run;
        {
            const DeniedLayoutKey deny(denied);
            run = RunTavelin(args, {{"LC_ALL", german ? "de_DE.UTF-8" : "en_US.UTF-8"}, kLogTrace});
        }
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.output, output);
        EXPECT_EQ(LoggedEntries(run.all), logged);
        EXPECT_EQ(ReadValue(kMap) != map, code == 0 && !logged.empty());
    }
}

// Started with no output to write to (from a console window, a shortcut, Explorer), as a person
// starts it: the answers reach the console of the program that started Tavelin, in UTF-16 so that
// every character shows (here one outside the console's code page); with no console either, a
// usage error comes in a box, and arguments without a switch (the tail of a program path started
// without quotes) open the window.
TEST_F(CommandLineTest, StartedWithoutRedirectedOutput) {
    const std::string file = TempPath("keys-\xD0\xB6.reg"); // Cyrillic zhe
    enum Shown { kConsole, kBox, kWindow };
    const std::tuple<Shown, std::string, DWORD, std::string> cases[] = {
        {kConsole, "/export \"" + file + "\"", 0, "Written: " + file},
        {kBox, "/status /stats", 1, "Unknown switch: /stats (usage: tavelin /?)"},
        {kWindow, "Files\\Tavelin\\tavelin.exe", 0, "Tavelin 2.0"},
    };
    const DWORD kStandard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE standard[3];
    for (int i = 0; i < 3; ++i)
        standard[i] = ::GetStdHandle(kStandard[i]);
    for (const auto& [shown, args, code, text] : cases) {
        SCOPED_TRACE(args);
        ::FreeConsole();
        if (shown == kConsole) {
            ASSERT_TRUE(::AllocConsole());
        }
        std::wstring line = L"\"Z:" TAVELIN_EXE "\" " + Utf8ToWide(args);
        STARTUPINFOW si{sizeof si};
        si.dwFlags = STARTF_USESTDHANDLES; // none: nothing redirected
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &pi));
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        wchar_t seen[200] = {};
        if (HWND window = testsupport::FindTopLevel(
                pi.dwProcessId, shown == kBox ? L"#32770" : nullptr,
                shown == kWindow ? L"Tavelin 2.0" : nullptr, shown == kConsole ? 0 : 15000)) {
            HWND words = shown == kBox ? ::GetDlgItem(window, 0xFFFF) : window;
            ::SendMessageW(words, WM_GETTEXT, 200, reinterpret_cast<LPARAM>(seen));
            if (shown == kBox)
                testsupport::ClickWindow(::GetDlgItem(window, IDOK));
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
            ::DeleteFileW(Utf8ToWide(file).c_str());
        }
        const std::wstring shownText(seen);
        EXPECT_EQ(exit, code);
        EXPECT_EQ(WideToUtf8(shownText.substr(0, shownText.find_last_not_of(L' ') + 1)), text);
    }
    ::FreeConsole();
    for (int i = 0; i < 3; ++i)
        ::SetStdHandle(kStandard[i], standard[i]);
}
