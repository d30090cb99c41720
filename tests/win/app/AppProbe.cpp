// The program's ways to start, in a process of their own, with what Wine cannot do faked.
// start: the start-up sequence as a standard user of XP (Wine's tokens all hold Administrators).
// read|write|refuse|throw EVENTS LOG COMMAND...: the command line, its first registry read or
// write paused (EVENTS.reached set, EVENTS.go waited for); event-log entries and restart requests
// noted in LOG ("entry|", "restart|"); refuse: the restart is then refused; throw: the first read
// throws what no one expects. trust: the trust rules one level below the desktop shell and an
// earlier copy's window, under the Windows version reported; prints what each did.
#include <cstdio>
#include <fstream>
#include <stdexcept>

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
    const Seam<MCheckAdmin::Calls>::Override user({.tokenInformation = &UsersOnly});
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

int TrustOneLevelLower() {
    const ProcessIdentity high{{1, 1, 0, 0, 0, 0, 0, 5, 21}, 0x3000}, medium{high.user, 0x2000};
    const Seam<MShellLaunch::Calls>::Override shell({
        .shellIdentity = [&] { return medium; },
        .ownIdentity = [&] { return high; },
        .shellExecute = [](const MShellLaunch::Launch&) { std::printf("direct "); },
        .desktopShell =
            [](const MShellLaunch::Launch&) {
                std::printf("desktop ");
                return S_OK;
            },
    });
    MShellLaunch::Open({"", "https://example.org/", "", "", SW_SHOWNORMAL});
    const WNDCLASSW wc{0, &::DefWindowProcW, 0, 0, {}, {}, {}, {}, {}, kMainWindowClass};
    ::RegisterClassW(&wc);
    ::CreateWindowExW(0, kMainWindowClass, L"Tavelin 2.0", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                      nullptr, nullptr, nullptr);
    const Seam<MSingleInstance::Calls>::Override instance({
        .windowIdentity = [&](HWND) { return medium; },
        .ownIdentity = [&] { return high; },
    });
    std::printf(MSingleInstance::ActivateEarlierCopy("Tavelin 2.0") ? "activated\n" : "ignored\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "start" || mode == "trust")
        return mode == "start" ? StartAsStandardUser() : TrustOneLevelLower();
    if (argc < 5)
        return 90;
    g_events = argv[2];
    g_log = argv[3];
    RegistryApi registry;
    if (mode == "throw" || mode == "read")
        registry.QueryValueEx = mode == "read" ? &PausedRead : &ThrowingRead;
    else
        registry.SetValueEx = &PausedWrite;
    const Seam<RegistryApi>::Override paused(registry);
    const Seam<MEventLog::Calls>::Override logged({&Logged});
    const Seam<MShutdown::Calls>::Override restart(
        {.initiateSystemShutdown = mode == "refuse" ? &RestartRefused : &RestartRecorded});
    return MCommandLineMode::Run(std::vector<std::string>(argv + 4, argv + argc));
}
