#include "app/MSingleInstance.h"

#include <span>
#include <string_view>

#include "ui/main/FMainIds.h"
#include "win32/Handles.h"
#include "win32/Seam.h"
#include "win32/MText.h"

namespace MSingleInstance {

namespace {

// Held until the process ends; its existence is what later copies detect.
UniqueHandle g_mutex;

// Top-level windows of the main window's class, in z-order; more would be a flood, not copies
// of Tavelin.
struct Found {
    HWND windows[64];
    int count = 0;
};

// Collects only: nothing here may throw into Windows, so titles and owners are read afterwards.
BOOL CALLBACK Collect(HWND hwnd, LPARAM param) noexcept {
    auto& found = *reinterpret_cast<Found*>(param);
    wchar_t cls[64] = {};
    if (::GetClassNameW(hwnd, cls, 64) && std::wstring_view(cls) == kMainWindowClass)
        found.windows[found.count++] = hwnd;
    return found.count < 64;
}

std::wstring TitleOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

bool PreviousInstanceRunning() {
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kMutexName));
    bool earlier = mutex && ::GetLastError() == ERROR_ALREADY_EXISTS;
    // Kept also when the name was taken: if this copy starts after all, later ones see it.
    if (!g_mutex)
        g_mutex = std::move(mutex);
    return earlier;
}

void ReleaseMarker() {
    g_mutex.reset();
}

bool ActivateEarlierCopy(const std::string& title) {
    Found found;
    ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&found));
    const Calls calls = Seam<Calls>::Current();
    const auto self = calls.ownIdentity();
    const std::wstring wanted = MText::Utf8ToWide(title);
    for (const bool exact : {true, false})
        for (HWND window : std::span(found.windows, found.count)) {
            const std::wstring text = TitleOf(window);
            if (!(exact ? text == wanted : text.starts_with(wanted)) ||
                !SameTrust(calls.windowIdentity(window), self))
                continue;
            // A minimised window in front would still show nothing.
            if (::IsIconic(window))
                ::ShowWindow(window, SW_RESTORE);
            ::SetForegroundWindow(window);
            return true;
        }
    return false;
}

} // namespace MSingleInstance
