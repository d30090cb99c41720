#include "win32/MForeignMessages.h"

namespace MForeignMessages {

namespace {

bool CarriesPointer(UINT msg) noexcept {
    return msg == WM_NOTIFY || msg == WM_NCCREATE;
}

LRESULT CALLBACK Filter(int code, WPARAM removed, LPARAM lParam) noexcept {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && msg && CarriesPointer(msg->message))
        msg->message = WM_NULL;
    return ::CallNextHookEx(nullptr, code, removed, lParam);
}

// Left in place until the thread ends, which removes it.
thread_local HHOOK t_filter = nullptr;

} // namespace

bool Refused(UINT msg) noexcept {
    return CarriesPointer(msg) &&
           (::InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_NOTIFY | ISMEX_CALLBACK)) != 0;
}

void GuardThisThread() noexcept {
    if (!t_filter)
        t_filter = ::SetWindowsHookExW(WH_GETMESSAGE, &Filter, nullptr, ::GetCurrentThreadId());
}

} // namespace MForeignMessages
