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
        {"/set CAPSLOCK=LSHIFT", caps, none, 0,
         "The keys already have these functions; nothing was written.\r\n", caps, none},
        {"/set CAPSLOCK=TAB", badCount, none, 2,
         "The stored Scancode Map is not well formed; Tavelin does not rewrite it. Nothing was "
         "written.\r\n",
         badCount, none},
        {"/restore", caps, flagged, 0, "Restored.\r\n" + kLater, flagged, none},
        {"/restore", caps, none, 2, "There is no backup to restore. Nothing was written.\r\n", caps,
         none},
        {"/export", caps, none, 1, "File name missing after /export (usage: tavelin /?)\r\n", caps,
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
// the Users group) is not trusted. Either way nothing is written.
TEST_F(CommandLineTest, AnotherWritersLockRefusesTheSet) {
    const std::tuple<const wchar_t*, DWORD, DWORD, std::string> cases[] = {
        {nullptr, 2, 2900,
         "The keyboard map was changed by another program since Tavelin started. Nothing was "
         "saved.\r\n"},
        {L"O:BUD:(A;;GA;;;WD)", 3, 0,
         "Error -2147194363 (tavelin.CScancodeMap): Tavelin could not take the lock that keeps two "
         "writers of the keyboard map apart (system error 1307); nothing was saved.\r\n"},
    };
    const Bytes caps = MapOf("2A003A00");
    for (const auto& [sddl, code, waitMs, output] : cases) {
        WriteValue(kMap, caps);
        const WriterLock lock(sddl);
        const DWORD start = ::GetTickCount();
        const RunResult run = RunTavelin("/set CAPSLOCK=TAB");
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

// A German system locale: German lines in the console code page (850 for Wine's German locale)
// when redirected, and the window's three event-log entries (Wine's trace, the only place Wine
// shows them, writes non-ASCII as \xxxx); a locked key's list shows nothing.
TEST_F(CommandLineTest, GermanLocaleTextsAndTheThreeLogEntries) {
    WriteValue(kMap, MapOf("1D004600"));
    const RunResult run = RunTavelin("/set insert=mute",
                                     {{"LC_ALL", "de_DE.UTF-8"}, {"WINEDEBUG", "-all,+eventlog"}});
    EXPECT_EQ(run.code, 0u);
    // Wine's trace comes first: the entries are written before the lines.
    std::string traced;
    for (size_t at = 0; (at = run.output.find("ReportEventW L\"", at)) != std::string::npos;) {
        at += 15;
        traced += run.output.substr(at, run.output.find('"', at) - at) + "|";
    }
    EXPECT_EQ(run.output.substr(run.output.find('\n', run.output.rfind(":trace:")) + 1),
              "Gespeichert.\r\nDie \x8E"
              "nderung wird nach einem Neustart des Rechners wirksam.\r\n"); // Ä in code page 850
    const std::string pad(100, ' '), to = "-Taste ge\\00e4ndert zu: ";
    EXPECT_EQ(traced, "Belegung der CapsLock" + to + "Standard (normale CapsLock-Funktion)" + pad +
                          "|Belegung der Einf\\00fcgen" + to + "Ton ein/aus" + pad +
                          "|Belegung der Rollen" + to + "|");
    EXPECT_EQ(ReadValue(kMap), MapOf("1D004600 20E052E0"));
}
