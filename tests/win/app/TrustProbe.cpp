// The trust rules with the Windows version this process is reported (a compatibility layer's
// doing, here Wine's per-program setting): the desktop shell's process and a window of Tavelin's
// class run as this program's user one level lower, as the unelevated half of an administrator
// does. Prints where a launch went and whether the window was brought to the front.
#include <windows.h>

#include <cstdio>

#include "app/SingleInstance.h"
#include "system/ShellLaunch.h"
#include "ui/main/FMainIds.h"
#include "win32/Seam.h"

int main() {
    const ProcessIdentity high{{1, 1, 0, 0, 0, 0, 0, 5, 21}, 0x3000}, medium{high.user, 0x2000};
    ShellLaunch::Calls shell;
    shell.shellIdentity = [&] { return medium; };
    shell.ownIdentity = [&] { return high; };
    shell.shellExecute = [](const ShellLaunch::Launch&) { std::printf("direct "); };
    shell.desktopShell = [](const ShellLaunch::Launch&) { return std::printf("desktop "), S_OK; };
    const Seam<ShellLaunch::Calls>::Override shellFake(shell);
    ShellLaunch::Open({"", "https://example.org/", "", "", SW_SHOWNORMAL});

    const WNDCLASSW wc{0, &::DefWindowProcW, 0, 0, {}, {}, {}, {}, {}, kMainWindowClass};
    ::RegisterClassW(&wc);
    ::CreateWindowExW(0, kMainWindowClass, L"Tavelin 2.0", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                      nullptr, nullptr, nullptr);
    SingleInstance::Calls instance;
    instance.windowIdentity = [&](HWND) { return medium; };
    instance.ownIdentity = [&] { return high; };
    const Seam<SingleInstance::Calls>::Override instanceFake(instance);
    std::printf(SingleInstance::ActivateEarlierCopy("Tavelin 2.0") ? "activated\n" : "ignored\n");
    return 0;
}
