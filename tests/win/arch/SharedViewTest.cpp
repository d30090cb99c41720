// The 32-bit and the 64-bit tavelin.exe on one 64-bit Windows, where registry redirection gives
// 32-bit programs their own HKLM\Software: each writes, the other reads back.
#include <gtest/gtest.h>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

using SharedView = CleanLayout;

// The map, its backup and the record of the map in effect through the command line.
TEST_F(SharedView, EachProgramReadsWhatTheOtherWrote) {
    const DWORD start = ::GetTickCount();
    const auto run = [&](const char* exe, const std::string& args) {
        const RunResult result = RunTavelin(args, {}, exe);
        // A run in emulation is long, and its log may be all that is left.
        EXPECT_TRUE(result.code) << exe << " " << args << " at "
                                 << (::GetTickCount() - start) / 1000 << " s: " << result.all;
        return result;
    };
    NewStart();
    EXPECT_EQ(run(TAVELIN_EXE, "/set CAPSLOCK=LSHIFT").code, 0u);
    // The writer's record of the map in effect (none): the reader has written nothing.
    EXPECT_EQ(run(TAVELIN64_EXE, "/status").output,
              Status(kShiftKeys, "YES", "PENDING", kShiftBytes, ""));
    // Saved over what it found: CapsLock kept, so it saw the writer's map.
    EXPECT_EQ(run(TAVELIN64_EXE, "/set SCROLL=MUTE").code, 0u);
    EXPECT_TRUE(run(TAVELIN_EXE, "/status")
                    .output.starts_with("CAPSLOCK=LSHIFT\r\nINSERT=INSERT\r\nSCROLL=MUTE\r\n"
                                        "BACKUP=YES\r\nRESTART=PENDING\r\n"));
    // The backup the 32-bit program made (of no map) is the 64-bit one's to restore.
    EXPECT_EQ(run(TAVELIN64_EXE, "/restore").code, 0u);
    EXPECT_EQ(run(TAVELIN_EXE, "/status").output, Status(kPlainKeys, "NO", "NO", "NONE", "NONE"));
}
