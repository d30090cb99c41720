// The command run here, Ctrl+C sent inside its first registry write from a thread of its own, as
// Windows sends it; the process's end is recorded instead of made, the restart refused.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <stdexcept>
#include <thread>

#include "app/MCommandLineMode.h"
#include "registry/RegistryApi.h"
#include "system/MEventLog.h"
#include "system/MShutdown.h"
#include "win32/Handles.h"
#include "win32/MAtomicFile.h"
#include "win32/MConsoleEvents.h"
#include "win32/Seam.h"

namespace {

constexpr char kLayout[] = "System\\CurrentControlSet\\Control\\Keyboard Layout";
void RemoveValues() {
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "Scancode Map");
    ::SHDeleteValueA(HKEY_LOCAL_MACHINE, kLayout, "TVLN Backup");
}

std::string g_log; // "end|", "entry|", "restart|" as they came
bool g_sent = false;

void CtrlCOnce() {
    if (std::exchange(g_sent, true))
        return;
    std::thread windows([] { MConsoleEvents::OnEvent(CTRL_C_EVENT); });
    windows.join();
}
LONG WINAPI WriteAfterCtrlC(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                            DWORD size) {
    CtrlCOnce();
    return ::RegSetValueExA(key, name, reserved, type, data, size);
}
void WINAPI Ended(UINT) {
    g_log += "end|";
}
BOOL WINAPI Logged(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID) {
    g_log += "entry|";
    return TRUE;
}
BOOL WINAPI RestartRefused(LPSTR, LPSTR, DWORD, BOOL, BOOL) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
bool g_throw = false;
LONG WINAPI Read(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (g_throw)
        throw std::runtime_error("unexpected");
    return ::RegQueryValueExA(key, name, reserved, type, data, size);
}

// The command's exit code and what it wrote to standard output.
std::string RunCommand(const std::vector<std::string>& args, int& exit) {
    UniqueHandle reader, writer;
    ::CreatePipe(reader.put(), writer.put(), nullptr, 4096);
    const HANDLE standard = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, writer.get());
    exit = MCommandLineMode::Run(args);
    ::SetStdHandle(STD_OUTPUT_HANDLE, standard);
    writer.reset();
    char output[4096] = {};
    DWORD read = 0;
    ::ReadFile(reader.get(), output, sizeof output - 1, &read, nullptr);
    return output;
}

HANDLE WINAPI DiskChanged(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    ::SetLastError(ERROR_DISK_CHANGE); // Wine's text: "Insert disk for drive %1."
    return INVALID_HANDLE_VALUE;
}

} // namespace

// From the writers' lock to the restart request Ctrl+C does not end the command: its writes, log
// entries and restart request are not cut apart, and it ends as it would have. An error that
// nothing expects (the first read throws) reaches the command's last handler: it says so, fails.
TEST(MCommandLineMode, ConsoleEventWaitsForTheWritesToEnd) {
    const Seam<MConsoleEvents::Calls>::Override end({&Ended});
    const Seam<MEventLog::Calls>::Override logged({&Logged});
    const Seam<MShutdown::Calls>::Override restart({.initiateSystemShutdown = &RestartRefused});
    const Seam<RegistryApi>::Override paused(
        {.QueryValueEx = &Read, .SetValueEx = &WriteAfterCtrlC});
    const std::vector<std::string> args = {"/set", "CAPSLOCK=LSHIFT", "/restart"};
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws ? "the read throws" : "the restart refused");
        RemoveValues();
        g_log.clear();
        g_sent = false;
        g_throw = throws;
        int exit = 0;
        const std::string output = RunCommand(args, exit);
        EXPECT_EQ(g_sent, !throws) << "the event at the first write";
        EXPECT_EQ(exit, 3);
        EXPECT_EQ(g_log, throws ? "" : "entry|entry|entry|");
        const std::string told =
            throws ? "Error 51 (app_tests): unexpected\r\n" : "The restart could not be requested.";
        EXPECT_NE(output.find(told), std::string::npos) << output;
    }
    RemoveValues();
    // The save registered this program as the event source's message file.
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                   "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin");
}

// A failed export names Windows' text of the error, also of one that has inserts ("%1").
TEST(MCommandLineMode, FailedExportShowsTheSystemText) {
    const Seam<MAtomicFile::Calls>::Override diskChanged({.createFile = &DiskChanged});
    int exit = 0;
    const std::string output = RunCommand({"/export", "A:\\tavelin.reg"}, exit);
    EXPECT_EQ(exit, 1);
    EXPECT_NE(output.find("(error 107: Insert disk for drive %1.)"), std::string::npos) << output;
}
