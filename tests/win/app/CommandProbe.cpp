// The command line in a process of its own whose first registry read or write (first argument)
// waits: it signals the event named by the second argument with ".reached" and waits for the one
// with ".go". Each event-log entry and a restart request are noted in the file named third
// ("entry|", "restart|"); the rest is the command. "refuse" waits at the write as "write" does,
// and the system then refuses the restart; "throw" has the first read throw what no one expects.
#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/CommandLineMode.h"
#include "registry/RegistryApi.h"
#include "system/MEventLog.h"
#include "system/MShutdown.h"
#include "win32/Seam.h"

namespace {

std::string g_events, g_log;
bool g_paused = false;

void Pause() {
    if (std::exchange(g_paused, true))
        return;
    UniqueHandle reached(::OpenEventA(EVENT_MODIFY_STATE, FALSE, (g_events + ".reached").c_str())),
        go(::OpenEventA(SYNCHRONIZE, FALSE, (g_events + ".go").c_str()));
    ::SetEvent(reached.get());
    ::WaitForSingleObject(go.get(), INFINITE);
}
LONG WINAPI PausedRead(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                       LPDWORD size) {
    Pause();
    return ::RegQueryValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI ThrowingRead(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    throw std::runtime_error("unexpected");
}
LONG WINAPI PausedWrite(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD size) {
    Pause();
    return ::RegSetValueExA(key, name, reserved, type, data, size);
}
BOOL WINAPI Logged(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID) {
    std::ofstream(g_log, std::ios::app) << "entry|";
    return TRUE;
}
BOOL WINAPI RestartRecorded(LPSTR, LPSTR, DWORD, BOOL, BOOL) {
    std::ofstream(g_log, std::ios::app) << "restart|";
    return TRUE;
}
BOOL WINAPI RestartRefused(LPSTR, LPSTR, DWORD, BOOL, BOOL) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5)
        return 90;
    g_events = argv[2], g_log = argv[3];
    RegistryApi registry;
    if (std::string(argv[1]) == "throw")
        registry.QueryValueEx = &ThrowingRead;
    else if (std::string(argv[1]) == "read")
        registry.QueryValueEx = &PausedRead;
    else
        registry.SetValueEx = &PausedWrite;
    const Seam<RegistryApi>::Override paused(registry);
    const Seam<MEventLog::Calls>::Override logged({&Logged});
    MShutdown::Calls restart;
    restart.initiateSystemShutdown =
        std::string(argv[1]) == "refuse" ? &RestartRefused : &RestartRecorded;
    const Seam<MShutdown::Calls>::Override recorded(restart);
    const std::vector<std::string> args(argv + 4, argv + argc);
    return CommandLineMode::Run(args);
}
