// Windows and message boxes of the code under test (this process or a child) found, read and
// closed from outside, on a second thread so that no test leaves a box waiting.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <future>
#include <optional>

#include "win32/Handles.h"
#include "win32/MText.h"

namespace testsupport {

// ms lengthened by TAVELIN_TEST_SLOWDOWN (a whole factor, default 1), which the virtual machine
// sets: in software emulation a start that takes a second here takes several.
inline DWORD Scaled(DWORD ms) {
    static const char* const value = std::getenv("TAVELIN_TEST_SLOWDOWN");
    static const int factor = value ? std::atoi(value) : 1;
    return ms * DWORD(factor >= 1 && factor <= 100 ? factor : 1);
}

struct MsgBoxInfo {
    HWND hwnd = nullptr;
    std::string title, text; // UTF-8
    RECT rect{};             // screen coordinates
};

// WM_GETTEXT also reaches windows of another process.
inline std::string TextOf(HWND hwnd) {
    wchar_t buffer[2048] = {};
    ::SendMessageW(hwnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer));
    return MText::WideToUtf8(buffer);
}

// A visible top-level window of process pid (0: this process) with this class and title (nullptr:
// any), waited for up to timeoutMs; nullptr when none came or the process ended.
inline HWND FindTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* title, DWORD timeoutMs) {
    const UniqueHandle process(pid ? ::OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr);
    for (DWORD start = ::GetTickCount();; ::Sleep(20)) {
        for (HWND hwnd = nullptr; (hwnd = ::FindWindowExW(nullptr, hwnd, cls, title));) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner == (pid ? pid : ::GetCurrentProcessId()) && ::IsWindowVisible(hwnd))
                return hwnd;
        }
        if (::GetTickCount() - start >= Scaled(timeoutMs) ||
            (pid && ::WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT))
            return nullptr;
    }
}

// A visible message box (#32770) of process pid (0: this one) with this title (empty: any).
inline std::optional<MsgBoxInfo> FindMsgBox(const std::string& title, DWORD pid = 0,
                                            DWORD timeoutMs = 5000) {
    const std::wstring wide = MText::Utf8ToWide(title);
    HWND box = FindTopLevel(pid, L"#32770", title.empty() ? nullptr : wide.c_str(), timeoutMs);
    if (!box)
        return std::nullopt;
    ::Sleep(50); // visible while being activated: give a placement hook time to finish
    MsgBoxInfo info{.hwnd = box, .title = TextOf(box), .text = TextOf(::GetDlgItem(box, 0xFFFF))};
    ::GetWindowRect(box, &info.rect);
    return info;
}

// Watches on a second thread for one box of this process, records it and closes it with button.
struct MsgBoxWatcher {
    MsgBoxWatcher(std::string title, int button)
        : seen(std::async(std::launch::async, [=] {
              auto box = FindMsgBox(title);
              if (box)
                  ::PostMessageW(box->hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
              return box;
          })) {}
    // The box seen, or nothing when none came in time; the last copy's end waits for the thread.
    const std::optional<MsgBoxInfo>& Result() const { return seen.get(); }
    std::shared_future<std::optional<MsgBoxInfo>> seen;
};

} // namespace testsupport
