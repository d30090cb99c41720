#include "MsgBoxWatcher.h"

#include <chrono>
#include <utility>

#include "Text.h"

namespace testsupport {

namespace {

struct Search {
    DWORD pid;
    std::wstring title;
    bool anyTitle;
    HWND found = nullptr;
};

std::wstring TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hwnd, buffer, 1024);
    return buffer;
}

BOOL CALLBACK Match(HWND hwnd, LPARAM param) {
    auto& s = *reinterpret_cast<Search*>(param);
    wchar_t cls[16] = {};
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s.pid || !::IsWindowVisible(hwnd) || !::GetClassNameW(hwnd, cls, 16) ||
        std::wstring_view(cls) != L"#32770")
        return TRUE;
    if (!s.anyTitle && TextOf(hwnd) != s.title)
        return TRUE;
    s.found = hwnd;
    return FALSE;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
    wchar_t cls[16] = {};
    ::GetClassNameW(child, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0 &&
        (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HICON*>(param) =
            reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::optional<MsgBoxInfo> FindMsgBox(const std::string& title, DWORD pid, DWORD timeoutMs) {
    Search search{pid ? pid : ::GetCurrentProcessId(), Utf8ToWide(title), title.empty()};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ::EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        ::Sleep(20);
    }
    // The box becomes visible while it is activated; give a placement hook time to finish.
    ::Sleep(50);
    MsgBoxInfo info;
    info.hwnd = search.found;
    info.title = WideToUtf8(TextOf(search.found));
    wchar_t text[2048] = {};
    ::GetDlgItemTextW(search.found, 0xFFFF, text, 2048);
    info.text = WideToUtf8(text);
    ::GetWindowRect(search.found, &info.rect);
    ::EnumChildWindows(search.found, &FindIcon, reinterpret_cast<LPARAM>(&info.icon));
    return info;
}

void CloseMsgBox(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

MsgBoxWatcher::MsgBoxWatcher(std::string title, int button, DWORD pid, DWORD timeoutMs) {
    // The current process id is taken here: the thread below is part of it too.
    pid = pid ? pid : ::GetCurrentProcessId();
    thread_ = std::thread([this, title = std::move(title), button, pid, timeoutMs] {
        result_ = FindMsgBox(title, pid, timeoutMs);
        if (result_)
            CloseMsgBox(result_->hwnd, button);
    });
}

MsgBoxWatcher::~MsgBoxWatcher() {
    if (thread_.joinable())
        thread_.join();
}

const std::optional<MsgBoxInfo>& MsgBoxWatcher::Result() {
    if (thread_.joinable())
        thread_.join();
    return result_;
}

} // namespace testsupport
