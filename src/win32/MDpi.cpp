#include "win32/MDpi.h"

#include "win32/Handles.h"

int MDpi::WindowDpi(HWND hwnd) noexcept {
    if (hwnd) {
        using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
        static const auto getDpiForWindow =
            reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
                ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        if (getDpiForWindow)
            if (UINT dpi = getDpiForWindow(hwnd))
                return static_cast<int>(dpi);
    }
    WindowDc dc(nullptr);
    const int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}
