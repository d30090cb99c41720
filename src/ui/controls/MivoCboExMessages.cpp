// Messages of the icon drop-down list: its own window's, the hooked ones of the ComboBoxEx and
// its inner windows, the keys it keeps from dialog navigation, and auto-completion.
#include "ui/controls/MivoCboEx.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>

#include "core/MAccessKey.h"
#include "win32/MAccessibleObject.h"
#include "win32/MText.h"

namespace {

// The keys a list keeps for itself while it has the focus, so that dialog navigation does
// not turn them into default-button presses or focus moves.
bool IsListKey(WPARAM key) {
    switch (key) {
    case VK_RETURN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        return true;
    default:
        return false;
    }
}

std::int32_t ShiftState() {
    return (::GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (::GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
           (::GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

// The hooks run as an ANSI window procedure, so typed characters arrive in the ANSI code page:
// 0x80 is "€" on a Western system, not U+0080. 0 for half of a double-byte character.
wchar_t TypedCharacter(std::int32_t keyAscii) {
    const char byte = static_cast<char>(keyAscii);
    if (keyAscii > 0xFF || ::IsDBCSLeadByte(static_cast<BYTE>(byte)))
        return 0;
    wchar_t wide = 0;
    return ::MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) == 1 ? wide : 0;
}

} // namespace

LRESULT MivoCboEx::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        if (comboEx_ && reinterpret_cast<HWND>(lParam) == comboEx_.get()) {
            OnComboCommand(HIWORD(wParam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (comboEx_ && hdr->hwndFrom == comboEx_.get())
            return OnComboNotify(*hdr);
        break;
    }
    case WM_SETFOCUS:
        if (comboEx_ && ::IsWindowVisible(comboEx_.get()))
            ::SetFocus(comboEx_.get());
        return 0;
    case WM_SIZE:
        Resize();
        return 0;
    case WM_GETOBJECT:
        return OnGetObject(Hwnd(), wParam, lParam, false);
    case WM_DESTROY:
        // Destroyed with its parent: let go of the inner windows while they exist.
        UnhookAll();
        break;
    case WM_NCDESTROY:
        // The inner windows went before their parent.
        comboEx_.release();
        hWndCombo_ = hWndEdit_ = hWndDropList_ = nullptr;
        break;
    default:
        break;
    }
    return Default(msg, wParam, lParam);
}

void MivoCboEx::OnComboCommand(int code) {
    switch (code) {
    case CBN_SELCHANGE:
        if (Fire(OnChange))
            (void)Fire(OnClick);
        break;
    case CBN_DBLCLK:
        (void)Fire(OnDblClick);
        break;
    case CBN_EDITCHANGE:
        if (!inSelection_)
            (void)Fire(OnChange);
        break;
    case CBN_SETFOCUS:
        // Before the first key: the dialog navigation asks the focused combo box first.
        HookKeys();
        break;
    case CBN_DROPDOWN:
        // The list is shown and coloured after this notification.
        HookListColours();
        awaitingDropList_ = true;
        (void)Fire(OnDropDown);
        break;
    case CBN_CLOSEUP:
        hWndDropList_ = nullptr;
        awaitingDropList_ = false;
        (void)Fire(OnCloseUp);
        break;
    default:
        break;
    }
}

LRESULT MivoCboEx::OnComboNotify(const NMHDR& hdr) {
    bool cancel = false;
    switch (hdr.code) {
    case CBEN_BEGINEDIT:
        (void)Fire(OnBeginEdit, ListIndex());
        return 0;
    case CBEN_ENDEDITW: {
        const auto& e = reinterpret_cast<const NMCBEENDEDITW&>(hdr);
        (void)Fire(OnEndEdit, e.fChanged != FALSE, e.iNewSelection, MText::WideToUtf8(e.szText),
                   e.iWhy, cancel);
        return cancel;
    }
    case CBEN_ENDEDITA: {
        const auto& e = reinterpret_cast<const NMCBEENDEDITA&>(hdr);
        (void)Fire(OnEndEdit, e.fChanged != FALSE, e.iNewSelection, MText::AnsiToUtf8(e.szText),
                   e.iWhy, cancel);
        return cancel;
    }
    default:
        return 0;
    }
}

std::int32_t MivoCboEx::MsgResponse() {
    switch (MSubclass::CurrentMessage()) {
    case WM_MOUSEACTIVATE:
    case WM_DRAWITEM:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_GETDLGCODE: // needs the previous answer to add to it
    case WM_COMMAND:    // marks the selection while the ComboBoxEx handles it
    case WM_GETOBJECT:  // answered with the label's object, or by the window itself
        return emrConsume;
    default:
        return emrPreprocess;
    }
}

LRESULT MivoCboEx::WindowProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    MFatal::RunGuarded([&] {
        switch (iMsg) {
        case WM_GETDLGCODE: {
            result = MSubclass::CallPreviousProc(hwnd, iMsg, wParam, lParam);
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) &&
                IsListKey(msg->wParam))
                result |= DLGC_WANTMESSAGE | DLGC_WANTARROWS;
            break;
        }
        case WM_COMMAND: {
            const bool selection = HIWORD(wParam) == CBN_SELCHANGE;
            if (selection)
                inSelection_ = true;
            const std::shared_ptr<const bool> alive = alive_;
            result = MSubclass::CallPreviousProc(hwnd, iMsg, wParam, lParam);
            if (selection && *alive)
                inSelection_ = false;
            break;
        }
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
            result = OnKey(hwnd, iMsg, wParam, lParam);
            break;
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLOREDIT:
            result = OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                iMsg == WM_CTLCOLORLISTBOX);
            break;
        case WM_DRAWITEM:
            result = OnDraw(hwnd, wParam, lParam);
            break;
        case WM_MOUSEACTIVATE:
            result = MSubclass::CallPreviousProc(hwnd, iMsg, wParam, lParam);
            break;
        case WM_GETOBJECT:
            result = OnGetObject(hwnd, wParam, lParam, true);
            break;
        default:
            break;
        }
    });
    return result;
}

LRESULT MivoCboEx::OnGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, bool previous) {
    if (!accessibleLabel_.empty()) {
        AccessibleTexts texts{MAccessKey::WithoutAccessKey(accessibleLabel_),
                              accessibleDescription_,
                              MAccessKey::AccessKeyShortcut(accessibleLabel_), nullptr};
        // A reader may keep the object after the list has gone. Blanks that pad an item are
        // not read out.
        texts.value = [this, alive = std::shared_ptr<const bool>(alive_)] {
            const std::int32_t index = *alive ? ListIndex() : -1;
            if (index < 0)
                return std::optional<std::string>();
            std::string text = List(index);
            text.erase(text.find_last_not_of(' ') + 1);
            return std::optional(text);
        };
        if (const LRESULT answer = MAccessibleObject::Answer(hwnd, wParam, lParam, texts))
            return answer;
    }
    return previous ? MSubclass::CallPreviousProc(hwnd, WM_GETOBJECT, wParam, lParam)
                    : Default(WM_GETOBJECT, wParam, lParam);
}

LRESULT MivoCboEx::OnKey(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto code = static_cast<std::int32_t>(wParam);
    if (msg == WM_KEYUP) {
        (void)Fire(OnKeyUp, code, ShiftState());
        return 0;
    }
    if (msg == WM_KEYDOWN) {
        if (!Fire(OnKeyDown, code, ShiftState()))
            return 0;
        if (code == 0)
            return 0;
        // Enter takes over a completed text as the selection.
        if (code == VK_RETURN && hwnd == hWndEdit_ && doAutoComplete_) {
            const std::shared_ptr<const bool> alive = alive_;
            std::int32_t index = FindItemIndex(Text(), true);
            if (index >= 0 && index != ListIndex())
                SetListIndex(index);
            if (!*alive)
                return 0;
        }
        return MSubclass::CallPreviousProc(hwnd, msg, static_cast<WPARAM>(code), lParam);
    }
    if (!Fire(OnKeyPress, code))
        return 0;
    if (code != 0 && hwnd == hWndEdit_ && doAutoComplete_) {
        const std::shared_ptr<const bool> alive = alive_;
        AutoCompleteKeyPress(code);
        if (!*alive)
            return 0;
    }
    if (code == 0)
        return 0;
    return MSubclass::CallPreviousProc(hwnd, msg, static_cast<WPARAM>(code), lParam);
}

LRESULT MivoCboEx::OnCtlColor(HDC hdc, HWND hwndList, bool isList) {
    if (isList && awaitingDropList_ && !hWndDropList_ && (style_ == 0 || style_ == 2)) {
        awaitingDropList_ = false;
        hWndDropList_ = hwndList;
        RECT r{};
        ::GetWindowRect(hwndList, &r);
        std::int32_t left = r.left, top = r.top, right = r.right, bottom = r.bottom;
        bool cancel = false;
        if (!Fire(OnRequestDropDownResize, left, top, right, bottom, cancel))
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        if (!cancel)
            ::MoveWindow(hwndList, left, top, right - left, bottom - top, TRUE);
        if (hWndEdit_)
            ::SetFocus(hWndEdit_);
    }
    // The system's brush follows a change of the system colours; one made once would not.
    ::SetBkColor(hdc, ::GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
}

void MivoCboEx::AutoCompleteKeyPress(std::int32_t& iKeyAscii) {
    if (!hWndEdit_ || iKeyAscii < 32) // control keys (Backspace, ...) edit as usual
        return;
    const wchar_t typed = TypedCharacter(iKeyAscii);
    if (!typed)
        return;
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hWndEdit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(hWndEdit_, text.data(), static_cast<int>(text.size()))));
    DWORD selStart = 0;
    ::SendMessageW(hWndEdit_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), 0);
    std::wstring prefix = text.substr(0, std::min<std::size_t>(selStart, text.size()));
    prefix += typed;

    auto startsWith = [&](std::int32_t i) {
        std::wstring t = ItemText(i);
        return t.size() >= prefix.size() && Compare(t.substr(0, prefix.size()), prefix) == 0;
    };
    const std::int32_t count = ListCount();
    std::int32_t found = -1;
    if (acSorted_) {
        // Items starting with the prefix follow each other, from its lower bound on.
        std::int32_t lo = 0, hi = count;
        while (lo < hi) {
            std::int32_t mid = lo + (hi - lo) / 2;
            if (Compare(ItemText(mid), prefix) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < count && startsWith(lo))
            found = lo;
    } else {
        for (std::int32_t i = 0; i < count && found < 0; ++i)
            if (startsWith(i))
                found = i;
    }
    if (found < 0) {
        if (acListOnly_)
            iKeyAscii = 0;
        return;
    }
    std::wstring full = ItemText(found);
    ::SetWindowTextW(hWndEdit_, full.c_str());
    ::SendMessageW(hWndEdit_, EM_SETSEL, prefix.size(), static_cast<LPARAM>(full.size()));
    iKeyAscii = 0;
    (void)Fire(OnAutoCompleteSelection, MText::WideToUtf8(full), found);
}
