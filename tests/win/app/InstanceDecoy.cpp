// Holds the single-instance name and shows a window of the class named first per title after it:
// a running Tavelin with the main window's class, a decoy otherwise. Runs until ended.
#include <windows.h>
#include <shellapi.h>

#include "app/MSingleInstance.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc < 2 || !::CreateMutexW(nullptr, TRUE, MSingleInstance::kMutexName))
        return 1;
    const WNDCLASSW wc{0, &::DefWindowProcW, 0, 0, instance, {}, {}, {}, {}, argv[1]};
    ::RegisterClassW(&wc); // a system class (STATIC) is there already
    for (int i = 2; i < argc; ++i)
        ::CreateWindowExW(0, argv[1], argv[i], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                          nullptr, nullptr, instance, nullptr);
    for (MSG msg; ::GetMessageW(&msg, nullptr, 0, 0) > 0;)
        ::DispatchMessageW(&msg);
    return 0;
}
