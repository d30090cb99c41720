// Holds the single-instance name and shows one window per title on its command line, of the class
// named first: a running Tavelin when that is the main window's class, a decoy otherwise. Runs
// until it is ended.
#include <windows.h>
#include <shellapi.h>

#include "app/SingleInstance.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc < 2 || !::CreateMutexW(nullptr, TRUE, SingleInstance::kMutexName))
        return 1;
    WNDCLASSW wc{};
    wc.lpfnWndProc = &::DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = argv[1];
    ::RegisterClassW(&wc); // a system class (STATIC) is there already
    for (int i = 2; i < argc; ++i)
        ::CreateWindowExW(0, argv[1], argv[i], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                          nullptr, nullptr, instance, nullptr);
    for (MSG msg; ::GetMessageW(&msg, nullptr, 0, 0) > 0;)
        ::DispatchMessageW(&msg);
    return 0;
}
