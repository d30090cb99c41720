// The program's two ways to start, in a process of their own with the calls that Wine cannot make
// answer otherwise faked. "start": the start-up sequence as a standard user of Windows XP runs it
// (Wine's tokens all hold the Administrators group). "read" or "write": the command line whose
// first registry read or write waits: it signals the event named by the second argument with
// ".reached" and waits for the one with ".go". Each event-log entry and a restart request are
// noted in the file named third ("entry|", "restart|"); the rest is the command. "refuse" waits at
// the write as "write" does, and the system then refuses the restart; "throw" has the first read
// throw what no one expects. "trust": the trust rules under the Windows version this process is
// reported, with the desktop shell and a window of Tavelin's class one level lower than it, as
// the unelevated half of an administrator runs; prints where a launch went and what was activated.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/MCommandLineMode.h"
#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"
#include "app/MMain.h"
#include "registry/RegistryApi.h"
#include "system/MEventLog.h"
#include "system/MShutdown.h"
#include "system/MShellLaunch.h"
#include "app/MSingleInstance.h"
#include "ui/main/FMainIds.h"
#include "win32/Seam.h"

namespace {

BYTE g_users[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0}; // S-1-5-32-545

BOOL WINAPI UsersOnly(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID out, DWORD size, PDWORD needed) {
    *needed = sizeof(TOKEN_GROUPS);
    if (size < *needed)
        return FALSE;
    *static_cast<TOKEN_GROUPS*>(out) = {1, {{g_users, SE_GROUP_ENABLED}}};
    return TRUE;
}

int StartAsStandardUser() {
    const Seam<MGetWinVer::Calls>::Override xp({[] {
        return std::optional(WinVersion{2, 5, 1, 2600});
    }});
    MCheckAdmin::Calls calls;
    calls.tokenInformation = &UsersOnly;
    const Seam<MCheckAdmin::Calls>::Override user(calls);
    MMain::Main();
    return 3; // a refusal ends the process first
}

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

int TrustOneLevelLower() {
    const ProcessIdentity high{{1, 1, 0, 0, 0, 0, 0, 5, 21}, 0x3000}, medium{high.user, 0x2000};
    MShellLaunch::Calls shell;
    shell.shellIdentity = [&] { return medium; };
    shell.ownIdentity = [&] { return high; };
    shell.shellExecute = [](const MShellLaunch::Launch&) { std::printf("direct "); };
    shell.desktopShell = [](const MShellLaunch::Launch&) {
        std::printf("desktop ");
        return S_OK;
    };
    const Seam<MShellLaunch::Calls>::Override shellFake(shell);
    MShellLaunch::Open({"", "https://example.org/", "", "", SW_SHOWNORMAL});
    const WNDCLASSW wc{0, &::DefWindowProcW, 0, 0, {}, {}, {}, {}, {}, kMainWindowClass};
    ::RegisterClassW(&wc);
    ::CreateWindowExW(0, kMainWindowClass, L"Tavelin 2.0", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                      nullptr, nullptr, nullptr);
    MSingleInstance::Calls instance;
    instance.windowIdentity = [&](HWND) { return medium; };
    instance.ownIdentity = [&] { return high; };
    const Seam<MSingleInstance::Calls>::Override instanceFake(instance);
    std::printf(MSingleInstance::ActivateEarlierCopy("Tavelin 2.0") ? "activated\n" : "ignored\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "start")
        return StartAsStandardUser();
    if (argc == 2 && std::string(argv[1]) == "trust")
        return TrustOneLevelLower();
    if (argc < 5)
        return 90;
    g_events = argv[2];
    g_log = argv[3];
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
    return MCommandLineMode::Run(args);
}
