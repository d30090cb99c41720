#include "ui/msgbox/MCenterMBX.h"

#include <cmath>

#include "win32/MFatal.h"
#include "win32/Handles.h"
#include "core/Product.h"
#include "win32/MText.h"

namespace MCenterMBX {

namespace {

// Written by CenteredMsgBox, read by the hook: one box at a time.
UniqueHook g_hook;
POINT g_centre{};

bool IsMessageBox(HWND hwnd) {
    wchar_t cls[16] = {};
    return ::GetClassNameW(hwnd, cls, 16) > 0 && std::wstring_view(cls) == L"#32770";
}

} // namespace

POINT CentreOf(const RECT& r) {
    return {static_cast<LONG>(std::floor(r.left + (r.right - r.left) / 2.0)),
            static_cast<LONG>(std::floor(r.top + (r.bottom - r.top) / 2.0))};
}

POINT OriginFor(POINT centre, const RECT& box) {
    return {static_cast<LONG>(std::floor(centre.x - (box.right - box.left) / 2.0)),
            static_cast<LONG>(std::floor(centre.y - (box.bottom - box.top) / 2.0))};
}

bool HookInstalled() {
    return static_cast<bool>(g_hook);
}

LRESULT CALLBACK MsgBoxHookProc(int nCode, WPARAM wParam, LPARAM) {
    MFatal::RunGuarded([&] {
        // The owner may be activated first; only the box itself is moved.
        HWND box = reinterpret_cast<HWND>(wParam);
        if (nCode != HCBT_ACTIVATE || !IsMessageBox(box))
            return;
        RECT r{};
        if (::GetWindowRect(box, &r)) {
            POINT origin = OriginFor(g_centre, r);
            ::SetWindowPos(box, HWND_TOP, origin.x, origin.y, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        g_hook.reset();
    });
    return 0;
}

int CenteredMsgBox(const std::string& prompt, UINT buttons, const std::string& title, HWND owner) {
    RECT r{};
    if (!owner || !::IsWindowVisible(owner) || ::IsIconic(owner) || !::GetWindowRect(owner, &r)) {
        // No owner to centre on: the middle of the primary monitor's work area.
        if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0))
            r = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    g_centre = CentreOf(r);

    // Thread-local hook; if it cannot be installed the box simply appears where the system
    // puts it.
    g_hook.reset(::SetWindowsHookExW(WH_CBT, &MsgBoxHookProc, nullptr, ::GetCurrentThreadId()));
    HWND parent = owner && ::IsWindow(owner) ? owner : nullptr;
    const std::string shown = title.empty() ? std::string(Product::kName) : title;
    int result = ::MessageBoxW(parent, MText::Utf8ToWide(prompt).c_str(),
                               MText::Utf8ToWide(shown).c_str(), buttons);
    // A box that never appeared must not leave the hook behind for the next window.
    g_hook.reset();
    return result;
}

} // namespace MCenterMBX
