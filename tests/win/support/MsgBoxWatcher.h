// Message boxes of the code under test (this process or a child) found, read and closed from
// outside, on a second thread, so that no test ever leaves a box waiting.
#pragma once

#include <windows.h>

#include <optional>
#include <thread>

#include "Text.h"

namespace testsupport {

struct MsgBoxInfo {
    HWND hwnd = nullptr;
    std::string title, text; // UTF-8
    RECT rect{};             // screen coordinates
    HICON icon = nullptr;    // comparable with LoadIcon(nullptr, IDI_...) in the same process only
};

namespace detail {

// WM_GETTEXT also reaches windows of another process.
inline std::string TextOf(HWND hwnd) {
    wchar_t buffer[2048] = {};
    ::SendMessageW(hwnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer));
    return WideToUtf8(buffer);
}

inline HWND FindBox(const std::string& title, DWORD pid) {
    for (HWND box = nullptr; (box = ::FindWindowExW(nullptr, box, L"#32770", nullptr));) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(box, &owner);
        if (owner == pid && ::IsWindowVisible(box) && (title.empty() || TextOf(box) == title))
            return box;
    }
    return nullptr;
}

} // namespace detail

// Waits up to timeoutMs for a visible message box (#32770) of process pid (0: this process)
// whose title equals title (empty: any title), then reads it.
inline std::optional<MsgBoxInfo> FindMsgBox(const std::string& title, DWORD pid = 0,
                                            DWORD timeoutMs = 5000) {
    HWND box = nullptr;
    for (DWORD start = ::GetTickCount();
         !(box = detail::FindBox(title, pid ? pid : ::GetCurrentProcessId())); ::Sleep(20))
        if (::GetTickCount() - start >= timeoutMs)
            return std::nullopt;
    // The box becomes visible while it is activated; give a placement hook time to finish.
    ::Sleep(50);
    MsgBoxInfo info{box, detail::TextOf(box), detail::TextOf(::GetDlgItem(box, 0xFFFF))};
    ::GetWindowRect(box, &info.rect);
    for (HWND child = nullptr; (child = ::FindWindowExW(box, child, L"Static", nullptr));)
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            info.icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
    return info;
}

// Presses a button of the box: IDOK, IDCANCEL, IDYES, IDNO, ...
inline void CloseMsgBox(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

// Watches on a second thread for one box, records it and closes it with button.
class MsgBoxWatcher {
  public:
    MsgBoxWatcher(std::string title, int button, DWORD pid = 0, DWORD timeoutMs = 5000)
        : thread_([=, this] {
              if ((result_ = FindMsgBox(title, pid, timeoutMs)))
                  CloseMsgBox(result_->hwnd, button);
          }) {}
    ~MsgBoxWatcher() { Result(); }

    // Waits for the watching thread: the box seen, or nothing when none came in time.
    const std::optional<MsgBoxInfo>& Result() {
        if (thread_.joinable())
            thread_.join();
        return result_;
    }

  private:
    std::optional<MsgBoxInfo> result_;
    std::thread thread_;
};

} // namespace testsupport
