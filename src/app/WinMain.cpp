// Entry point of the program: the start-up sequence, then messages for as long as the
// program's windows are open.
#include <windows.h>

#include "win32/MFatal.h"
#include "app/MCommandLineMode.h"
#include "win32/MOleApartment.h"
#include "app/MDllSearch.h"
#include "app/MMain.h"
#include "win32/MStartupTrace.h"

namespace {

BOOL CALLBACK CountVisible(HWND hwnd, LPARAM count) {
    if (::IsWindowVisible(hwnd))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

bool WindowsOpen() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountVisible, reinterpret_cast<LPARAM>(&count));
    return count > 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MStartupTrace::Mark("entry");
    // Before anything loads a DLL by name (OLE, the common controls, the shell).
    MDllSearch::RestrictDllSearch();
    // Arguments: unattended use, no window.
    if (const auto args = MCommandLineMode::Arguments(); !args.empty())
        return MCommandLineMode::Run(args);
    MFatal::RunGuarded([] { MMain::Main(); });
    MStartupTrace::Write();
    // The windows end the loop with PostQuitMessage when the program is done; the check
    // before the first wait covers a start that opened no window.
    MSG msg;
    while (WindowsOpen() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        bool handled = false;
        MFatal::RunGuarded([&] { handled = MMain::PreTranslateMessage(msg); });
        if (handled)
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // The OLE apartment, opened by the help window or the shell at their first use, outlives
    // every window that used it.
    MOleApartment::Close();
    return 0;
}
