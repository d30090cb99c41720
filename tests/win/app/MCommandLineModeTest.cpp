// The command started from a console that the user's other processes share, paused inside its
// first registry read or write (app_probe) while this test sends that console a control event.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "support/ChildProcess.h"
#include "support/MsgBoxWatcher.h"

namespace {

constexpr char kLayout[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
using Value = std::optional<std::string>;

Value Read(const char* name) {
    char bytes[256] = {};
    DWORD size = sizeof bytes;
    if (::SHGetValueA(HKEY_LOCAL_MACHINE, kLayout, name, nullptr, bytes, &size))
        return std::nullopt;
    return std::string(bytes, size);
}
void RemoveValues() {
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "Scancode Map");
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "TVLN Backup");
}
std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::atomic<int> g_eventsHere = 0;
BOOL WINAPI CountHere(DWORD) {
    ++g_eventsHere;
    return TRUE;
}

} // namespace

// From the writers' lock to the restart request Ctrl+C does not end the command: all it writes is
// whole and it ends as it would have. At its first read the event ends it, as Windows would.
TEST(MCommandLineMode, ConsoleEventWaitsForTheWritesToEnd) {
    const std::string caps("\0\0\0\0\0\0\0\0\x02\0\0\0\x2A\0\x3A\0\0\0\0\0", 20);
    const struct {
        const char* pause;
        DWORD exit = 0;
        Value map, backup;
        std::string log;
        const char* told = ""; // a line the console shows
    } cases[] = {
        {.pause = "write", .map = caps, .backup = "", .log = "entry|entry|entry|restart|"},
        {.pause = "refuse",
         .exit = 3,
         .map = caps,
         .backup = "",
         .log = "entry|entry|entry|",
         .told = "The restart could not be requested."},
        {.pause = "read", .exit = STATUS_CONTROL_C_EXIT},
    };
    HANDLE standard[] = {::GetStdHandle(STD_INPUT_HANDLE), ::GetStdHandle(STD_OUTPUT_HANDLE),
                         ::GetStdHandle(STD_ERROR_HANDLE)};
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string log = temp + std::string("tavelin-probe-log.txt"),
                      events = "TavelinProbe." + std::to_string(::GetCurrentProcessId());
    UniqueHandle reached(::CreateEventA(nullptr, TRUE, FALSE, (events + ".reached").c_str())),
        go(::CreateEventA(nullptr, TRUE, FALSE, (events + ".go").c_str()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pause);
        RemoveValues();
        ::DeleteFileA(log.c_str());
        ::ResetEvent(reached.get());
        ::ResetEvent(go.get());
        // A console of this test's own, which the command inherits; the event reaches both.
        ::FreeConsole();
        ASSERT_TRUE(::AllocConsole());
        ::SetConsoleCtrlHandler(&CountHere, TRUE);
        g_eventsHere = 0;
        std::wstring line =
            MText::Utf8ToWide("\"Z:" APP_PROBE_EXE "\" " + std::string(c.pause) + " " + events +
                              " \"" + log + "\" /set CAPSLOCK=LSHIFT /restart");
        STARTUPINFOW si{.cb = sizeof si};
        PROCESS_INFORMATION pi{};
        const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                              nullptr, nullptr, &si, &pi);
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        const bool paused =
            started && ::WaitForSingleObject(reached.get(), testsupport::Scaled(20000)) == 0;
        if (paused) {
            ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            testsupport::HandleMessagesUntil([] { return g_eventsHere > 0; }, 5000);
            ::Sleep(testsupport::Scaled(300)); // the command's handler runs beside this one's
        }
        ::SetEvent(go.get());
        DWORD exit = 99;
        if (::WaitForSingleObject(process.get(), testsupport::Scaled(20000)) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.get(), &exit);
        ::TerminateProcess(process.get(), 99);
        const std::string shown = testsupport::ConsoleText();
        ::SetConsoleCtrlHandler(&CountHere, FALSE);
        ::FreeConsole();
        EXPECT_TRUE(paused) << "never paused";
        EXPECT_EQ(g_eventsHere, 1) << "no event sent";
        EXPECT_EQ(exit, c.exit);
        EXPECT_EQ(Read("Scancode Map"), c.map);
        EXPECT_EQ(Read("TVLN Backup"), c.backup);
        EXPECT_EQ(FileText(log), c.log);
        EXPECT_NE(shown.find(c.told), std::string::npos) << shown;
    }
    for (const DWORD kind : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        ::SetStdHandle(kind, standard[STD_INPUT_HANDLE - kind]);
    RemoveValues();
    ::DeleteFileA(log.c_str());
    // The save registered the probe as the event source's message file.
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                   "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin");
}

// An error that nothing expects (the first registry read throws) reaches the command's last
// handler: the command says so and fails.
TEST(MCommandLineMode, UnexpectedErrorFails) {
    testsupport::ChildProcess probe(APP_PROBE_EXE, "throw none none /status");
    EXPECT_EQ(probe.Wait(20000), 3u);
    EXPECT_EQ(probe.Output(), "Error 51 (app_probe): unexpected\r\n");
}
