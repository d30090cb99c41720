// The real tavelin.exe run with arguments, its output read through a pipe: what it prints, its
// exit code, the registry values and the exported file afterwards. Nothing here passes /restart.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "e2e/MainWindowDriver.h"
#include "support/ChildProcess.h"
#include "support/MsgBoxWatcher.h"
#include "ui/main/FMainIds.h"
#include "win32/Text.h"

using namespace e2e;
using testsupport::FindMsgBox;

namespace {

using Value = std::optional<Bytes>;

void SetLayoutValue(const char* name, const Value& value) {
    if (value)
        WriteLayoutValue(name, *value);
    else
        DeleteLayoutValue(name);
}

struct Result {
    std::optional<DWORD> code;
    std::string output;
};

Result RunTavelin(const std::string& args) {
    testsupport::ChildProcess child(TAVELIN_EXE, args);
    Result result;
    result.code = child.Wait(20000);
    result.output = child.Output();
    return result;
}

// Under a German system locale, which Wine takes from the Unix environment at start: the
// program runs through a shell that sends its output, Wine's event-log trace (the only place
// Wine shows the entries) and its exit code to a file.
Result RunTavelinInGerman(const std::string& args) {
    const std::string file = "/tmp/tavelin-cli-" + std::to_string(::GetCurrentProcessId());
    const std::wstring windowsFile = Utf8ToWide("Z:" + file);
    ::DeleteFileW(windowsFile.c_str());
    std::wstring command =
        Utf8ToWide("Z:\\bin\\sh -c \"LC_ALL=de_DE.UTF-8 WINEDEBUG=-all,+eventlog /usr/bin/wine " +
                   std::string(TAVELIN_EXE) + " " + args + " >" + file + " 2>&1; echo EXIT=$? >>" +
                   file + "\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    Result result;
    for (int i = 0; i < 1000 && !result.code; ++i, ::Sleep(20)) {
        std::ifstream in(WideToUtf8(windowsFile), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        const std::size_t exit = all.rfind("EXIT=");
        if (exit != std::string::npos && all.ends_with("\n")) {
            result.code = std::stoul(all.substr(exit + 5));
            result.output = all.substr(0, exit);
        }
    }
    ::DeleteFileW(windowsFile.c_str());
    return result;
}

// The bytes of a file, nothing when it does not exist.
std::optional<std::string> FileBytes(const std::wstring& path) {
    std::ifstream in(WideToUtf8(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// ASCII text as regedit writes it: UTF-16LE after the byte-order mark.
std::string Utf16File(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii)
        bytes += std::string{c, '\0'};
    return bytes;
}

class CommandLineTest : public CleanLayout {};

const std::string kUsageHint = " (usage: tavelin /?)\r\n";
const std::string kSaved = "Saved.\r\nThe change takes effect when the computer restarts.\r\n";
const std::string kRestored =
    "Restored.\r\nThe change takes effect when the computer restarts.\r\n";

} // namespace

// Each command against the map and backup found: its output, its exit code, and both values
// afterwards, byte for byte.
TEST_F(CommandLineTest, CommandsAgainstTheStoredMap) {
    const Bytes caps = MapOf({"2A003A00"}), lockedCaps = MapOf({"1D003A00"});
    const Bytes lockedTwo = MapOf({"1D003A00", "00004600"});
    const Bytes badCount = FromHex("0000000000000000"
                                   "05000000"
                                   "2A003A00"
                                   "00000000");
    // A backup with flags another tool set: restored as it is, not rebuilt.
    const Bytes flagged = FromHex("0000000001000000"
                                  "02000000"
                                  "1D003A00"
                                  "00000000");
    const Value none;
    struct Case {
        const char* args;
        Value map, backup;
        DWORD code;
        std::string output;
        Value mapAfter, backupAfter;
    };
    const Case cases[] = {
        {"/status", none, none, 0,
         "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\nBACKUP=NO\r\n", none, none},
        {"/STATUS", MapOf({"2A003A00", "1D0052E0"}), Bytes{}, 0,
         "CAPSLOCK=LSHIFT\r\nINSERT=LOCKED (new code 1D00)\r\nSCROLL=SCROLL\r\nBACKUP=YES\r\n",
         MapOf({"2A003A00", "1D0052E0"}), Bytes{}},
        {"/status", badCount, none, 0, "MAP=NOT WELL FORMED\r\nBACKUP=NO\r\n", badCount, none},
        // The first save backs up what it found, here nothing: a zero-byte backup.
        {"/set capslock=lshift", none, none, 0, kSaved, caps, Bytes{}},
        // Keys not named keep their entries, locked ones included; the new one goes last.
        {"/set INSERT=11", lockedTwo, none, 0, kSaved, MapOf({"1D003A00", "00004600", "20E052E0"}),
         lockedTwo},
        // A key's own function removes its entry; a later save keeps the first backup.
        {"/set CAPSLOCK=CAPSLOCK", caps, flagged, 0, kSaved, Bytes{}, flagged},
        {"/set CAPSLOCK=LSHIFT", caps, none, 0,
         "The keys already have these functions; nothing was written.\r\n", caps, none},
        {"/set INSERT=MUTE CAPSLOCK=TAB", lockedCaps, none, 2,
         "CAPSLOCK is locked (new code 1D00). Nothing was written.\r\n", lockedCaps, none},
        {"/set CAPSLOCK=TAB", badCount, none, 2,
         "The stored Scancode Map is not well formed; Tavelin does not rewrite it. Nothing was "
         "written.\r\n",
         badCount, none},
        {"/restore", caps, flagged, 0, kRestored, flagged, none},
        {"/Restore", caps, Bytes{}, 0, kRestored, none, none},
        {"/restore", caps, none, 2, "There is no backup to restore. Nothing was written.\r\n", caps,
         none},
        {"/set SHIFT=TAB", caps, none, 1,
         "Unknown key: SHIFT (keys: CAPSLOCK, INSERT, SCROLL)" + kUsageHint, caps, none},
        {"/export", caps, none, 1, "File name missing after /export" + kUsageHint, caps, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        SetLayoutValue(kMap, c.map);
        SetLayoutValue(kBackup, c.backup);
        const Result run = RunTavelin(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(ReadLayoutValue(kMap), c.mapAfter);
        EXPECT_EQ(ReadLayoutValue(kBackup), c.backupAfter);
    }
}

// The .reg file holds the map the choice would give, as regedit writes it; the registry stays
// as it was, and a file that cannot be written is left as it was, with nothing beside it.
TEST_F(CommandLineTest, ExportWritesTheRegFileAtomically) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"tavelin-cli\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"keys.reg", readOnly = folder + L"kept.reg";
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\"
                             "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n";
    const Bytes found = MapOf({"1D0052E0"});
    WriteLayoutValue(kMap, found);
    { std::ofstream(WideToUtf8(readOnly), std::ios::binary) << "old"; }
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string quoted = "\"" + WideToUtf8(file) + "\"";

    const std::tuple<std::string, DWORD, std::string, std::optional<std::string>> cases[] = {
        {"/export " + quoted + " CAPSLOCK=LSHIFT", 0, "Written: " + WideToUtf8(file) + "\r\n",
         Utf16File(head + "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,03,00,00,00,1d,00,52,"
                          "e0,2a,00,3a,00,\\\r\n  00,00,00,00\r\n\r\n")},
        // Written over the earlier file; without choices, the map as found.
        {"/EXPORT " + quoted, 0, "Written: " + WideToUtf8(file) + "\r\n",
         Utf16File(head + "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,02,00,00,00,1d,00,52,"
                          "e0,00,00,00,00\r\n\r\n")},
        {"/export " + quoted + " INSERT=APP", 2,
         "INSERT is locked (new code 1D00). Nothing was written.\r\n", std::nullopt},
    };
    for (const auto& [args, code, output, bytes] : cases) {
        SCOPED_TRACE(args);
        if (!bytes)
            ::DeleteFileW(file.c_str());
        const Result run = RunTavelin(args);
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.output, output);
        EXPECT_EQ(FileBytes(file), bytes);
        EXPECT_EQ(ReadLayoutValue(kMap), found);
        EXPECT_EQ(ReadLayoutValue(kBackup), std::nullopt);
    }

    // Files that cannot be written: in a missing folder, read-only, a folder.
    const std::wstring folderItself = folder.substr(0, folder.size() - 1);
    for (const std::wstring& path : {folder + L"missing\\keys.reg", readOnly, folderItself}) {
        SCOPED_TRACE(WideToUtf8(path));
        const Result run = RunTavelin("/export \"" + WideToUtf8(path) + "\"");
        EXPECT_EQ(run.code, 1u);
        EXPECT_TRUE(
            run.output.starts_with("The file cannot be written: " + WideToUtf8(path) + " (error "))
            << run.output;
    }
    EXPECT_EQ(FileBytes(readOnly), std::string("old"));
    // Only the two files of the test remain: no temporary file was left behind.
    int count = 0;
    WIN32_FIND_DATAW found_{};
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found_);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found_))
        if (!(found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    ::FindClose(search);
    EXPECT_EQ(count, 1); // kept.reg; keys.reg was deleted before the refused export

    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(readOnly.c_str());
    ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// An unsupported system refuses every command with exit code 4 and the window's text; the usage
// needs no rights.
TEST_F(CommandLineTest, PlatformCheckRefusesButUsageAnswers) {
    testsupport::WineVersionFor win98("tavelin.exe", "win98");
    Result run = RunTavelin("/status");
    EXPECT_EQ(run.code, 4u);
    EXPECT_EQ(run.output, "This program runs only on Windows 2000, XP, 2003 and Vista.\r\n");
    run = RunTavelin("/?");
    EXPECT_EQ(run.code, 0u);
    EXPECT_TRUE(run.output.starts_with("Tavelin: gives CapsLock, Insert and ScrollLock a new "
                                       "function.\r\n\r\n  tavelin /status\r\n"))
        << run.output;
    EXPECT_TRUE(run.output.ends_with("Example: tavelin /set CAPSLOCK=LSHIFT SCROLL=MUTE "
                                     "/restart\r\n"))
        << run.output;
}

// The command line takes no part in the single-instance rule: it runs beside an open window,
// and that window's stale-view check keeps its OK from overwriting what the command wrote.
TEST_F(CommandLineTest, RunsBesideAnOpenWindowWhoseOkThenRefuses) {
    Tavelin app;
    ASSERT_TRUE(app.Main());
    app.PressDown(1);
    Result run = RunTavelin("/set CAPSLOCK=TAB");
    EXPECT_EQ(run.code, 0u);
    EXPECT_EQ(run.output, kSaved);
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"0F003A00"}));

    app.Click(IDC_CMDOK);
    auto box = FindMsgBox("Tavelin", app.Pid(), 5000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "The keyboard map was changed by another program since Tavelin "
                         "started. Nothing was saved.");
    Answer(box->hwnd, IDOK);
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"0F003A00"}));
    EXPECT_EQ(ReadLayoutValue(kBackup), Bytes{});
}

// A German system locale: German lines in the console code page (850 for Wine's German locale)
// when redirected, keywords in English, and the window's three event-log entries (Wine's trace
// shows non-ASCII as \xxxx).
TEST_F(CommandLineTest, GermanLocaleTextsAndTheThreeLogEntries) {
    WriteLayoutValue(kMap, MapOf({"1D004600"}));
    const std::tuple<std::string, DWORD, std::string, std::vector<std::string>> cases[] = {
        {"/status",
         0,
         "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=LOCKED (new code 1D00)\r\n"
         "BACKUP=NO\r\n",
         {}},
        {"/set SCROLL=MUTE",
         2,
         "SCROLL ist gesperrt (neuer Code 1D00). Es wurde nichts "
         "geschrieben.\r\n",
         {}},
        {"/set insert=mute",
         0,
         "Gespeichert.\r\nDie Änderung wird nach einem Neustart des Rechners wirksam.\r\n",
         {"Belegung der CapsLock-Taste geändert zu: Standard (normale CapsLock-Funktion)",
          "Belegung der Einfügen-Taste geändert zu: Ton ein/aus",
          // A locked key's list shows nothing.
          "Belegung der Rollen-Taste geändert zu: "}},
    };
    for (const auto& [args, code, output, logged] : cases) {
        SCOPED_TRACE(args);
        const Result run = RunTavelinInGerman(args);
        EXPECT_EQ(run.code, code);
        std::string lines, traced;
        std::istringstream all(run.output);
        for (std::string line; std::getline(all, line);) {
            const std::size_t start = line.find("ReportEventW L\"");
            if (start != std::string::npos)
                traced += line.substr(start + 15, line.rfind('"') - start - 15) + "|";
            else if (line.find(":trace:") == std::string::npos)
                lines += line + "\n";
        }
        std::string expected;
        for (wchar_t c : Utf8ToWide(output)) {
            char encoded[2] = {};
            ::WideCharToMultiByte(850, 0, &c, 1, encoded, 1, nullptr, nullptr);
            expected += encoded[0];
        }
        EXPECT_EQ(lines, expected);
        std::string entries;
        for (const std::string& text : logged) {
            for (wchar_t c : Utf8ToWide(text)) {
                char escaped[8];
                snprintf(escaped, sizeof escaped, c < 128 ? "%c" : "\\%04x", c);
                entries += escaped;
            }
            // The list item's text: the option's name and 100 blanks.
            entries += (text.ends_with(": ") ? "" : std::string(100, ' ')) + "|";
        }
        EXPECT_EQ(traced, entries);
    }
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"1D004600", "20E052E0"}));
}
