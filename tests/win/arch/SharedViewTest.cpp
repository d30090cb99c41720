// The 32-bit and the 64-bit tavelin.exe on one 64-bit Windows, where registry redirection gives
// 32-bit programs their own HKLM\Software: each writes, the other reads back.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

const std::string kSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin";
const std::string kHelp = "Tavelin 2.0.4 - Help";
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

Value ReadInView(REGSAM view, HKEY root, const std::string& key, const char* name) {
    UniqueHkey opened;
    Bytes bytes(4096);
    DWORD size = DWORD(bytes.size());
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.put()) ||
        ::RegQueryValueExA(opened.get(), name, nullptr, nullptr, bytes.data(), &size))
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

struct Program {
    const char* name;
    const char* exe;    // Unix path
    const char* folder; // as Windows names the program's folder
};
const Program k32{
    .name = "32-bit", .exe = TAVELIN_EXE, .folder = "\\program-i686\\src\\tavelin.exe"};
const Program k64{
    .name = "64-bit", .exe = TAVELIN64_EXE, .folder = "\\program-x86_64\\src\\tavelin.exe"};

using SharedView = CleanLayout;

} // namespace

// The map, its backup and the record of the map in effect through the command line; the event-log
// source, which the first save registers; the first-start flag, which the window sets.
TEST_F(SharedView, EachProgramReadsWhatTheOtherWrote) {
    const std::pair<Program, Program> cases[] = {{k32, k64}, {k64, k32}};
    const DWORD start = ::GetTickCount();
    const auto at = [&] { // a run in emulation is long, and its log may be all that is left
        return " at " + std::to_string((::GetTickCount() - start) / 1000) + " s";
    };
    const auto run = [&](const Program& program, const std::string& args) {
        const RunResult result = RunTavelin(args, {}, program.exe);
        EXPECT_TRUE(result.code) << program.name << " " << args << at() << ": " << result.all;
        return result;
    };
    for (const auto& [writer, reader] : cases) {
        SCOPED_TRACE(std::string(writer.name) + " writes, " + reader.name + " reads");
        for (REGSAM view : kViews)
            ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kSourceKey.c_str(), view, 0);
        WriteValue("ShowStartupInfo", std::nullopt, HKEY_CURRENT_USER, kSettingsKey, REG_SZ);

        NewStart();
        EXPECT_EQ(run(writer, "/set CAPSLOCK=LSHIFT").code, 0u);
        // The writer's record of the map in effect (none): the reader has written nothing.
        EXPECT_EQ(run(reader, "/status").output,
                  "CAPSLOCK=LSHIFT\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\nBACKUP=YES\r\n"
                  "RESTART=PENDING\r\nMAPBYTES=0000000000000000020000002A003A0000000000\r\n"
                  "BACKUPBYTES=\r\n");
        // Saved over what it found: CapsLock kept, so it saw the writer's map.
        EXPECT_EQ(run(reader, "/set SCROLL=MUTE").code, 0u);
        EXPECT_EQ(run(writer, "/status").output,
                  "CAPSLOCK=LSHIFT\r\nINSERT=INSERT\r\nSCROLL=MUTE\r\nBACKUP=YES\r\n"
                  "RESTART=PENDING\r\nMAPBYTES=0000000000000000030000002A003A0020E0460000000000"
                  "\r\nBACKUPBYTES=\r\n");
        // The backup the writer made (of no map) is the reader's to restore: the map in effect.
        EXPECT_EQ(run(reader, "/restore").code, 0u);
        EXPECT_EQ(run(writer, "/status").output,
                  "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\nBACKUP=NO\r\n"
                  "RESTART=NO\r\nMAPBYTES=NONE\r\nBACKUPBYTES=NONE\r\n");
        for (REGSAM view : kViews) {
            const Value file = ReadInView(view, HKEY_LOCAL_MACHINE, kSourceKey, "EventMessageFile");
            EXPECT_TRUE(
                file &&
                std::string(file->begin(), std::ranges::find(*file, 0)).ends_with(writer.folder))
                << "view " << view;
        }

        for (const bool first : {true, false}) {
            const Program& program = first ? writer : reader;
            Tavelin app({}, program.exe);
            ASSERT_TRUE(app.Main()) << program.name << at() << ": " << app.Seen();
            EXPECT_EQ(bool(app.FindWindowTitled(kHelp, first ? 10000 : 3000)), first)
                << program.name << at() << ": " << app.Seen();
            app.CloseWindow();
            EXPECT_EQ(app.Wait(10000), 0u) << program.name << at() << ": " << app.Seen();
        }
        for (REGSAM view : kViews)
            EXPECT_EQ(ReadInView(view, HKEY_CURRENT_USER, kSettingsKey, "ShowStartupInfo"),
                      kHelpSeen)
                << "view " << view;
    }
}
