// The program's ways to start, in a process of their own, with what Wine cannot do faked.
// (none): the start-up sequence as a standard user of XP (a refusal ends it; Wine's tokens all
// hold Administrators). trust: the trust rules one level below the desktop shell and an earlier
// copy's window, under the Windows version reported; prints what each did. oom: an error made
// when no memory is left, even for its text.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string_view>

#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"
#include "app/MMain.h"
#include "app/MSingleInstance.h"
#include "system/MShellLaunch.h"
#include "ui/main/FMainIds.h"
#include "win32/MFatal.h"
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

bool g_noMemory = false;

int ErrorWithoutMemory() {
    const std::runtime_error failure("a failure");
    g_noMemory = true;
    try {
        throw failure;
    } catch (...) {
        MFatal::CurrentExceptionAsError(); // ends the process when it cannot make the error
    }
    g_noMemory = false;
    return 0;
}

} // namespace

// Every allocation of this program comes here: in the oom mode, none succeeds.
void* operator new(std::size_t size) {
    void* memory = g_noMemory ? nullptr : std::malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "trust")
        return TrustOneLevelLower();
    if (argc > 1 && std::string_view(argv[1]) == "oom")
        return ErrorWithoutMemory();
    const Seam<MGetWinVer::Calls>::Override xp({[] {
        return std::optional(WinVersion{2, 5, 1, 2600});
    }});
    const Seam<MCheckAdmin::Calls>::Override user({.tokenInformation = &UsersOnly});
    MMain::Main();
    return 3;
}
