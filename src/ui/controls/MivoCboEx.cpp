#include "ui/controls/MivoCboEx.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <set>

#include "core/AppError.h"
#include "win32/Fatal.h"
#include "win32/Text.h"
#include "ui/controls/cMIVOImageList.h"

namespace {

constexpr wchar_t kClassName[] = L"TavelinMivoCboEx";
constexpr UINT kItemMaskAll =
    CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM; // 0x37
constexpr int kComboExId = 1;

[[noreturn]] void Raise381() {
    throw AppError(381, ExeName() + ".MivoComboEx", "");
}
[[noreturn]] void RaiseInvalidArgument() {
    throw AppError(5, ExeName() + ".MivoComboEx", "");
}

int ScreenDpi() {
    WindowDc dc(nullptr);
    int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

MivoFont FontFromLogFont(const LOGFONTW& lf) {
    MivoFont f;
    f.Name = WideToUtf8(lf.lfFaceName);
    f.Size = std::abs(lf.lfHeight) * 72.0 / ScreenDpi();
    f.Bold = lf.lfWeight >= FW_BOLD;
    f.Italic = lf.lfItalic != 0;
    f.Underline = lf.lfUnderline != 0;
    f.Strikethrough = lf.lfStrikeOut != 0;
    f.Charset = lf.lfCharSet;
    return f;
}

// The font a new control takes when its settings carry none: its container's.
MivoFont ContainerFont(HWND parent) {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0));
    if (!font)
        font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW lf{};
    if (!font || !::GetObjectW(font, sizeof lf, &lf))
        return MivoFont{};
    return FontFromLogFont(lf);
}

UniqueFont MakeFont(const MivoFont& f) {
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(std::lround(f.Size * ScreenDpi() / 72.0));
    lf.lfWeight = f.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = f.Italic;
    lf.lfUnderline = f.Underline;
    lf.lfStrikeOut = f.Strikethrough;
    lf.lfCharSet = static_cast<BYTE>(f.Charset);
    std::wstring face = Utf8ToWide(f.Name);
    std::wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return UniqueFont(::CreateFontIndirectW(&lf));
}

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

// System colour names with their colour codes, for draw style 7.
struct SysColourName {
    const wchar_t* name;
    int index;
};
constexpr SysColourName kSysColours[] = {
    {L"3DDKShadow", COLOR_3DDKSHADOW},
    {L"3DFace", COLOR_3DFACE},
    {L"3DHighlight", COLOR_3DHIGHLIGHT},
    {L"3DLight", COLOR_3DLIGHT},
    {L"3DShadow", COLOR_3DSHADOW},
    {L"ActiveBorder", COLOR_ACTIVEBORDER},
    {L"ActiveCaption", COLOR_ACTIVECAPTION},
    {L"AppWorkspace", COLOR_APPWORKSPACE},
    {L"Background", COLOR_BACKGROUND},
    {L"ButtonText", COLOR_BTNTEXT},
    {L"CaptionText", COLOR_CAPTIONTEXT},
    {L"GrayText", COLOR_GRAYTEXT},
    {L"Highlight", COLOR_HIGHLIGHT},
    {L"HighlightText", COLOR_HIGHLIGHTTEXT},
    {L"InactiveBorder", COLOR_INACTIVEBORDER},
    {L"InactiveCaption", COLOR_INACTIVECAPTION},
    {L"InactiveCaptionText", COLOR_INACTIVECAPTIONTEXT},
    {L"InfoBackground", COLOR_INFOBK},
    {L"InfoText", COLOR_INFOTEXT},
    {L"Menu", COLOR_MENU},
    {L"MenuText", COLOR_MENUTEXT},
    {L"ScrollBar", COLOR_SCROLLBAR},
    {L"Window", COLOR_WINDOW},
    {L"WindowFrame", COLOR_WINDOWFRAME},
    {L"WindowText", COLOR_WINDOWTEXT},
};

int CALLBACK CollectFontFamily(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM lParam) {
    try { // an allocation failure must not unwind into Windows
        // Vertical variants ("@Name") are not families of their own.
        if (lf->lfFaceName[0] != L'@')
            reinterpret_cast<std::set<std::wstring>*>(lParam)->insert(lf->lfFaceName);
        return 1;
    } catch (...) {
        return 0;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation, loading, saving

MivoCboEx::MivoCboEx(HWND hwndParent, int x, int y, int width, int height,
                     const MivoCboExProps& props) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_USEREX_CLASSES};
    ::InitCommonControlsEx(&icc);
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &MivoCboEx::OwnWndProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();

    style_ = props.ReadLong(MivoCboExKey::Style, 0);
    if (style_ < 0 || style_ > 2)
        RaiseInvalidArgument();
    enabled_ = props.ReadBool(MivoCboExKey::Enabled, true);
    font_ = props.ReadFont(MivoCboExKey::Font).value_or(ContainerFont(hwndParent));

    hwnd_ = ::CreateWindowExW(0, kClassName, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN, x, y, width,
                              height, hwndParent, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!registered || !hwnd_)
        RaiseInvalidArgument();
    try {
        ::EnableWindow(hwnd_, enabled_);
        CreateComboEx();
        SetExtendedUI(props.ReadBool(MivoCboExKey::ExtendedUI, true));
        SetDropDownWidth(props.ReadLong(MivoCboExKey::DropDownWidth, -1));
        acListOnly_ = props.ReadBool(MivoCboExKey::AutoCompleteListItemsOnly, false);
        acSorted_ = props.ReadBool(MivoCboExKey::AutoCompleteItemsAreSorted, false);
        doAutoComplete_ = props.ReadBool(MivoCboExKey::DoAutoComplete, false);
        drawStyle_ = props.ReadLong(MivoCboExKey::DrawStyle, 0);
        SetRedraw(props.ReadBool(MivoCboExKey::Redraw, true));
        backBrush_.reset(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW)));
        // The item height follows a font only while the list holds an item.
        Insert(L"To Allow SetFont/Height", -1, 0, 0, 0, 0);
        ApplyFont();
        Clear();
        FillSelf();
        Resize();
    } catch (...) {
        UnhookAll();
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
        throw;
    }
}

MivoCboEx::~MivoCboEx() {
    UnhookAll();
    if (hwnd_) {
        // No callbacks into a half-destroyed object.
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void MivoCboEx::WriteProperties(MivoCboExProps& bag) const {
    namespace K = MivoCboExKey;
    bag.Write(K::Style, style_, std::int32_t{0});
    bag.Write(K::Enabled, enabled_, true);
    bag.Write(K::ExtendedUI, extendedUI_, true);
    bag.Write(K::DropDownWidth, static_cast<std::int16_t>(dropDownWidth_), std::int16_t{-1});
    bag.Write(K::AutoCompleteListItemsOnly, acListOnly_, false);
    bag.Write(K::AutoCompleteItemsAreSorted, acSorted_, false);
    bag.Write(K::DoAutoComplete, doAutoComplete_, false);
    bag.Write(K::DrawStyle, drawStyle_, std::int32_t{0});
    bag.Write(K::Redraw, redraw_, true);
    // The default is the container's font, which the bag cannot know: always stored.
    bag.Write(K::Font, font_);
}

void MivoCboEx::CreateComboEx() {
    DestroyComboEx();
    const DWORD kind = style_ == 0 ? CBS_DROPDOWN : style_ == 1 ? CBS_SIMPLE : CBS_DROPDOWNLIST;
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    hWndComboEx_ =
        ::CreateWindowExW(0, WC_COMBOBOXEXW, L"", WS_CHILD | kind, 0, 0, rc.right, rc.bottom * 8,
                          hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kComboExId)),
                          ::GetModuleHandleW(nullptr), nullptr);
    if (!hWndComboEx_)
        RaiseInvalidArgument();
    if (imageList_)
        SendCombo(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imageList_));

    Hook(hWndComboEx_, WM_CTLCOLORLISTBOX);
    Hook(hWndComboEx_, WM_DRAWITEM);
    hWndCombo_ = reinterpret_cast<HWND>(SendCombo(CBEM_GETCOMBOCONTROL));
    if (hWndCombo_) {
        Hook(hWndCombo_, WM_GETDLGCODE);
        if (style_ == 0 || style_ == 2) {
            Hook(hWndCombo_, WM_KEYDOWN);
            Hook(hWndCombo_, WM_CHAR);
            Hook(hWndCombo_, WM_KEYUP);
        }
        if (style_ == 0)
            Hook(hWndCombo_, WM_CTLCOLOREDIT);
    }
    if (style_ == 0) {
        hWndEdit_ = reinterpret_cast<HWND>(SendCombo(CBEM_GETEDITCONTROL));
        if (hWndEdit_) {
            Hook(hWndEdit_, WM_GETDLGCODE);
            Hook(hWndEdit_, WM_KEYDOWN);
            Hook(hWndEdit_, WM_CHAR);
            Hook(hWndEdit_, WM_KEYUP);
        }
    }

    ::MoveWindow(hWndComboEx_, 0, 0, rc.right, rc.bottom * 8, FALSE);
    ::ShowWindow(hWndComboEx_, SW_SHOW);
    ::EnableWindow(hWndComboEx_, enabled_);
    SendCombo(CBEM_SETEXSTYLE, 0, extendedStyle_);
    SendCombo(WM_SETREDRAW, redraw_);
    // A re-created window starts from the class defaults: give it back what was set.
    if (hFont_)
        SendCombo(WM_SETFONT, reinterpret_cast<WPARAM>(hFont_.get()), FALSE);
    SendCombo(CB_SETEXTENDEDUI, extendedUI_);
    SendCombo(CB_SETDROPPEDWIDTH, std::max(dropDownWidth_, 0));
    if (maxLength_ > 0)
        SendCombo(CB_LIMITTEXT, maxLength_);
}

void MivoCboEx::DestroyComboEx() noexcept {
    UnhookAll();
    if (hWndComboEx_) {
        ::ShowWindow(hWndComboEx_, SW_HIDE);
        ::DestroyWindow(hWndComboEx_);
    }
    hWndComboEx_ = hWndCombo_ = hWndEdit_ = hWndDropList_ = nullptr;
    awaitingDropList_ = false;
}

void MivoCboEx::Hook(HWND hwnd, UINT msg) {
    MSubclass::HookMessage(this, hwnd, msg);
    hooks_.emplace_back(hwnd, msg);
}

void MivoCboEx::UnhookAll() noexcept {
    for (auto [hwnd, msg] : hooks_) {
        try {
            MSubclass::UnhookMessage(this, hwnd, msg);
        } catch (...) {
            // The window is going away; nothing is left to undo.
        }
    }
    hooks_.clear();
}

void MivoCboEx::Resize() {
    if (!hwnd_ || !hWndComboEx_)
        return;
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    ::MoveWindow(hWndComboEx_, 0, 0, rc.right, rc.bottom, TRUE);
    if (hWndCombo_) {
        auto itemHeight = static_cast<int>(SendCombo(CB_GETITEMHEIGHT, 0));
        int h = style_ == 1 ? rc.bottom : rc.bottom + 2 + 8 * itemHeight;
        ::MoveWindow(hWndCombo_, 0, 0, rc.right, h, TRUE);
    }
}

void MivoCboEx::ApplyFont() {
    UniqueFont font = MakeFont(font_);
    if (!font)
        return;
    SendCombo(WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    hFont_ = std::move(font); // the old one only now, after the window has let go of it
    Resize();
}

void MivoCboEx::FillSelf() {
    switch (drawStyle_) {
    case 7:
        for (const auto& c : kSysColours)
            Insert(c.name, -1, -1, -1, static_cast<std::int32_t>(0x80000000u | c.index), 0);
        break;
    case 8: {
        std::set<std::wstring> families;
        WindowDc dc(nullptr);
        LOGFONTW lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        ::EnumFontFamiliesExW(dc.get(), &lf, &CollectFontFamily,
                              reinterpret_cast<LPARAM>(&families), 0);
        for (const auto& name : families)
            Insert(name, -1, -1, -1, 0, 0);
        break;
    }
    case 9: {
        wchar_t drives[512] = {};
        DWORD n = ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(drives) - 1), drives);
        if (n == 0 || n >= std::size(drives))
            break;
        const UINT size = iconHeight_ < 17 ? SHGFI_SMALLICON : SHGFI_LARGEICON;
        for (const wchar_t* root = drives; *root; root += std::wcslen(root) + 1) {
            SHFILEINFOW sfi{};
            auto sysList = reinterpret_cast<HIMAGELIST>(::SHGetFileInfoW(
                root, 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | size));
            if (sysList && !imageList_) {
                // The system's list: shared, never destroyed by us.
                imageList_ = sysList;
                int cx = 0, cy = 0;
                if (::ImageList_GetIconSize(sysList, &cx, &cy))
                    iconHeight_ = cy;
                SendCombo(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(sysList));
            }
            std::wstring text = sfi.szDisplayName[0] ? sfi.szDisplayName : root;
            Insert(text, -1, sysList ? sfi.iIcon : -1, sysList ? sfi.iIcon : -1, root[0], 0);
        }
        break;
    }
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Members the main window uses

void MivoCboEx::SetImageList(const MivoImageListArg& vImageList) {
    HIMAGELIST handle = nullptr;
    if (const auto* obj = std::get_if<const cMIVOImageList*>(&vImageList))
        handle = *obj ? (*obj)->hIml() : nullptr;
    else if (const auto* number = std::get_if<std::intptr_t>(&vImageList))
        handle = reinterpret_cast<HIMAGELIST>(*number);
    else
        throw AppError(static_cast<std::int32_t>(0x80040419u), "MivoDriveCboEx." + ExeName(),
                       "ImageList property expects ImageList object or long hImageList handle.");
    if (!handle)
        return;
    imageList_ = handle;
    int cx = 0, cy = 0;
    if (::ImageList_GetIconSize(handle, &cx, &cy))
        iconHeight_ = cy;
    SendCombo(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(handle));
    ApplyFont();
}

void MivoCboEx::AddItemAndData(const std::string& sText, std::int32_t iIcon,
                               std::int32_t iIconSelected, std::int32_t lItemData,
                               std::int32_t lIndent) {
    InsertItemAndData(sText, -1, iIcon, iIconSelected, lItemData, lIndent);
}

void MivoCboEx::InsertItemAndData(const std::string& sText, std::int32_t lIndexBefore,
                                  std::int32_t iIcon, std::int32_t iIconSelected,
                                  std::int32_t lItemData, std::int32_t lIndent) {
    Insert(Utf8ToWide(sText), lIndexBefore, iIcon, iIconSelected, lItemData, lIndent);
}

void MivoCboEx::Insert(const std::wstring& text, std::int32_t lIndexBefore, std::int32_t iIcon,
                       std::int32_t iIconSelected, std::int32_t lItemData, std::int32_t lIndent) {
    std::int32_t pos = lIndexBefore;
    const std::int32_t count = ListCount();
    if (sorted_ && count > 0) {
        // After the last item that does not sort behind the new one: equal texts keep their
        // order of insertion.
        std::int32_t lo = 0, hi = count;
        while (lo < hi) {
            std::int32_t mid = lo + (hi - lo) / 2;
            if (Compare(ItemText(mid), text) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        pos = lo >= count ? -1 : lo;
    }
    newIndex_ = static_cast<std::int32_t>(SendItem(
        CBEM_INSERTITEMW, pos, kItemMaskAll, Item{text, iIcon, iIconSelected, lIndent, lItemData}));
}

LRESULT MivoCboEx::SendItem(UINT msg, std::int32_t lIndex, UINT mask, const Item& item) const {
    std::wstring buffer = item.text; // the message takes a writable text pointer
    COMBOBOXEXITEMW it{};
    it.mask = mask;
    it.iItem = lIndex;
    it.pszText = buffer.data();
    it.cchTextMax = static_cast<int>(buffer.size());
    it.iImage = item.icon;
    it.iSelectedImage = item.iconSelected;
    it.iIndent = item.indent;
    it.lParam = item.data;
    return SendCombo(msg, 0, reinterpret_cast<LPARAM>(&it));
}

std::int32_t MivoCboEx::ListCount() const {
    return static_cast<std::int32_t>(SendCombo(CB_GETCOUNT));
}

std::int32_t MivoCboEx::ListIndex() const {
    return static_cast<std::int32_t>(SendCombo(CB_GETCURSEL));
}

void MivoCboEx::SetListIndex(std::int32_t lIndex) {
    // Checked first: the combo would answer a bad index by clearing the selection as well.
    if (lIndex < -1 || lIndex >= ListCount())
        Raise381();
    if (SendCombo(CB_SETCURSEL, static_cast<WPARAM>(lIndex)) == CB_ERR && lIndex != -1)
        Raise381();
    Raise(OnClick);
}

void MivoCboEx::CheckIndex(std::int32_t lIndex) const {
    if (lIndex < 0 || lIndex >= ListCount())
        Raise381();
}

MivoCboEx::Item MivoCboEx::GetItem(std::int32_t lIndex) const {
    CheckIndex(lIndex);
    COMBOBOXEXITEMW it{};
    it.mask = CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM;
    it.iItem = lIndex;
    if (!SendCombo(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
        Raise381();
    return Item{ItemText(lIndex), it.iImage, it.iSelectedImage, it.iIndent,
                static_cast<std::int32_t>(it.lParam)};
}

void MivoCboEx::SetItem(std::int32_t lIndex, UINT mask, const Item& item) {
    CheckIndex(lIndex);
    if (!SendItem(CBEM_SETITEMW, lIndex, mask, item))
        Raise381();
}

std::wstring MivoCboEx::ItemText(std::int32_t lIndex) const {
    for (int cap = 256;; cap *= 2) {
        std::wstring buf(static_cast<std::size_t>(cap), L'\0');
        COMBOBOXEXITEMW it{};
        it.mask = CBEIF_TEXT;
        it.iItem = lIndex;
        it.pszText = buf.data();
        it.cchTextMax = cap;
        if (!SendCombo(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
            Raise381();
        std::wstring text = it.pszText ? it.pszText : L"";
        // A text that filled the buffer may have been cut: try again with more room.
        if (static_cast<int>(text.size()) < cap - 1 || cap >= (1 << 20))
            return text;
    }
}

std::int32_t MivoCboEx::ItemData(std::int32_t lIndex) const {
    if (lIndex == -1)
        return 0;
    CheckIndex(lIndex);
    COMBOBOXEXITEMW it{};
    it.mask = CBEIF_LPARAM;
    it.iItem = lIndex;
    if (!SendCombo(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
        Raise381();
    return static_cast<std::int32_t>(it.lParam);
}

void MivoCboEx::SetItemData(std::int32_t lIndex, std::int32_t lValue) {
    if (lIndex == -1)
        return;
    Item item{};
    item.data = lValue;
    SetItem(lIndex, CBEIF_LPARAM, item);
}

void MivoCboEx::SetEnabled(bool bValue) {
    if (bValue == enabled_)
        return;
    enabled_ = bValue;
    ::EnableWindow(hwnd_, bValue);
    ::EnableWindow(hWndComboEx_, bValue);
    Raise(OnPropertyChanged, MivoCboExKey::Enabled);
}

std::string MivoCboEx::Text() const {
    if (!hWndComboEx_)
        return {};
    if (style_ == 2) {
        std::int32_t index = ListIndex();
        return index < 0 ? std::string() : WideToUtf8(ItemText(index));
    }
    auto length = static_cast<std::size_t>(SendCombo(WM_GETTEXTLENGTH));
    std::wstring buf(length + 1, L'\0');
    SendCombo(WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(std::wcslen(buf.c_str()));
    return WideToUtf8(buf);
}

// ---------------------------------------------------------------------------------------------
// Other members

void MivoCboEx::AutoCompleteKeyPress(std::int32_t& iKeyAscii) {
    if (!hWndEdit_ || iKeyAscii < 32) // control keys (Backspace, ...) edit as usual
        return;
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hWndEdit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(hWndEdit_, text.data(), static_cast<int>(text.size()))));
    DWORD selStart = 0;
    ::SendMessageW(hWndEdit_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), 0);
    std::wstring prefix = text.substr(0, std::min<std::size_t>(selStart, text.size()));
    prefix += static_cast<wchar_t>(iKeyAscii);

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
    Raise(OnAutoCompleteSelection, WideToUtf8(full), found);
}

void MivoCboEx::SetExtendedStyle(std::int32_t eStyle, bool bState) {
    extendedStyle_ = bState ? (extendedStyle_ | eStyle) : (extendedStyle_ & ~eStyle);
    SendCombo(CBEM_SETEXSTYLE, 0, extendedStyle_);
}

void MivoCboEx::SetFont(const MivoFont& font) {
    font_ = font;
    ApplyFont();
}

void MivoCboEx::SetStyle(std::int32_t lStyle) {
    if (lStyle < 0 || lStyle > 2)
        RaiseInvalidArgument();
    if (lStyle == style_)
        return;
    if (!hWndComboEx_) {
        style_ = lStyle;
        return;
    }
    std::vector<Item> items;
    for (std::int32_t i = 0, n = ListCount(); i < n; ++i)
        items.push_back(GetItem(i));
    const std::int32_t selected = ListIndex();
    const std::string text = Text();

    style_ = lStyle;
    CreateComboEx();
    SendCombo(WM_SETREDRAW, FALSE);
    for (const Item& item : items)
        SendItem(CBEM_INSERTITEMW, -1, kItemMaskAll, item);
    SendCombo(WM_SETREDRAW, redraw_);
    SetListIndex(selected);
    if (style_ != 2)
        SetText(text);
    Resize();
}

void MivoCboEx::SetDropDownWidth(std::int32_t lWidth) {
    dropDownWidth_ = lWidth;
    // 0 asks for the smallest width, which is the system's: the width of the combo itself.
    SendCombo(CB_SETDROPPEDWIDTH, std::max(lWidth, 0));
}

bool MivoCboEx::ComboIsDropped() const {
    return SendCombo(CB_GETDROPPEDSTATE) != 0;
}

void MivoCboEx::ShowDropDown(bool bState) {
    SendCombo(CB_SHOWDROPDOWN, bState);
}

std::int32_t MivoCboEx::SelStart() const {
    DWORD start = 0;
    if (hWndEdit_)
        ::SendMessageW(hWndEdit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return static_cast<std::int32_t>(start);
}

void MivoCboEx::SetSelStart(std::int32_t l) {
    if (hWndEdit_)
        ::SendMessageW(hWndEdit_, EM_SETSEL, l, l);
}

std::int32_t MivoCboEx::SelLength() const {
    DWORD start = 0, end = 0;
    if (hWndEdit_)
        ::SendMessageW(hWndEdit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
    return static_cast<std::int32_t>(end - start);
}

void MivoCboEx::SetSelLength(std::int32_t l) {
    if (hWndEdit_) {
        std::int32_t start = SelStart();
        ::SendMessageW(hWndEdit_, EM_SETSEL, start, start + l);
    }
}

std::string MivoCboEx::SelText() const {
    if (!hWndEdit_)
        return {};
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hWndEdit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(hWndEdit_, text.data(), static_cast<int>(text.size()))));
    auto start = std::min<std::size_t>(static_cast<std::size_t>(SelStart()), text.size());
    return WideToUtf8(text.substr(start, static_cast<std::size_t>(SelLength())));
}

void MivoCboEx::SetSelText(const std::string& s) {
    if (hWndEdit_)
        ::SendMessageW(hWndEdit_, EM_REPLACESEL, TRUE,
                       reinterpret_cast<LPARAM>(Utf8ToWide(s).c_str()));
}

void MivoCboEx::SetText(const std::string& sText) {
    SendCombo(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf8ToWide(sText).c_str()));
}

void MivoCboEx::SetMaxLength(std::int32_t l) {
    maxLength_ = l;
    SendCombo(CB_LIMITTEXT, l);
}

void MivoCboEx::SetRedraw(bool b) {
    redraw_ = b;
    SendCombo(WM_SETREDRAW, b);
    if (b && hWndComboEx_)
        ::InvalidateRect(hWndComboEx_, nullptr, TRUE);
}

void MivoCboEx::Clear() {
    SendCombo(CB_RESETCONTENT);
}

void MivoCboEx::SetExtendedUI(bool b) {
    extendedUI_ = b;
    SendCombo(CB_SETEXTENDEDUI, b);
}

void MivoCboEx::AddItem(const std::string& sText) {
    InsertItem(sText, -1);
}

void MivoCboEx::InsertItem(const std::string& sText, std::int32_t lIndexBefore) {
    InsertItemAndData(sText, lIndexBefore, -1, -1, 0, 0);
}

int MivoCboEx::Compare(std::wstring_view a, std::wstring_view b) const {
    const DWORD flags = (extendedStyle_ & CBES_EX_CASESENSITIVE) ? 0 : NORM_IGNORECASE;
    return ::CompareStringW(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()),
                            b.data(), static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

std::int32_t MivoCboEx::FindItemIndex(const std::string& sToFind, bool bExactMatch) const {
    const std::wstring wanted = Utf8ToWide(sToFind);
    for (std::int32_t i = 0, n = ListCount(); i < n; ++i) {
        std::wstring text = ItemText(i);
        if (!bExactMatch && text.size() > wanted.size())
            text.resize(wanted.size());
        if (Compare(text, wanted) == 0)
            return i;
    }
    return -1;
}

std::int32_t MivoCboEx::ItemIndent(std::int32_t lIndex) const {
    return lIndex == -1 ? 0 : GetItem(lIndex).indent;
}
void MivoCboEx::SetItemIndent(std::int32_t lIndex, std::int32_t v) {
    if (lIndex != -1)
        SetItem(lIndex, CBEIF_INDENT, Item{{}, 0, 0, v, 0});
}
std::int32_t MivoCboEx::ItemIcon(std::int32_t lIndex) const {
    return lIndex == -1 ? 0 : GetItem(lIndex).icon;
}
void MivoCboEx::SetItemIcon(std::int32_t lIndex, std::int32_t v) {
    if (lIndex != -1)
        SetItem(lIndex, CBEIF_IMAGE, Item{{}, v, 0, 0, 0});
}
std::int32_t MivoCboEx::ItemIconSelected(std::int32_t lIndex) const {
    return lIndex == -1 ? 0 : GetItem(lIndex).iconSelected;
}
void MivoCboEx::SetItemIconSelected(std::int32_t lIndex, std::int32_t v) {
    if (lIndex != -1)
        SetItem(lIndex, CBEIF_SELECTEDIMAGE, Item{{}, 0, v, 0, 0});
}
std::string MivoCboEx::List(std::int32_t lIndex) const {
    if (lIndex == -1)
        return {};
    CheckIndex(lIndex);
    return WideToUtf8(ItemText(lIndex));
}
void MivoCboEx::SetList(std::int32_t lIndex, const std::string& sText) {
    if (lIndex != -1)
        SetItem(lIndex, CBEIF_TEXT, Item{Utf8ToWide(sText), 0, 0, 0, 0});
}

void MivoCboEx::RemoveItem(std::int32_t lIndex) {
    CheckIndex(lIndex);
    if (SendCombo(CBEM_DELETEITEM, static_cast<WPARAM>(lIndex)) == CB_ERR)
        Raise381();
}

// ---------------------------------------------------------------------------------------------
// Messages

LRESULT CALLBACK MivoCboEx::OwnWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<MivoCboEx*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || msg == WM_NCCREATE)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = 0;
    if (!RunGuarded([&] {
            switch (msg) {
            case WM_COMMAND:
                if (self->hWndComboEx_ && reinterpret_cast<HWND>(lParam) == self->hWndComboEx_) {
                    self->OnComboCommand(HIWORD(wParam));
                    return;
                }
                break;
            case WM_NOTIFY: {
                const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
                if (self->hWndComboEx_ && hdr->hwndFrom == self->hWndComboEx_) {
                    result = self->OnComboNotify(*hdr);
                    return;
                }
                break;
            }
            case WM_SETFOCUS:
                if (self->hWndComboEx_ && ::IsWindowVisible(self->hWndComboEx_))
                    ::SetFocus(self->hWndComboEx_);
                return;
            case WM_SIZE:
                self->Resize();
                return;
            case WM_DESTROY:
                // Destroyed with its parent: let go of the inner windows while they exist.
                self->UnhookAll();
                break;
            case WM_NCDESTROY:
                ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
                self->hwnd_ = self->hWndComboEx_ = self->hWndCombo_ = self->hWndEdit_ =
                    self->hWndDropList_ = nullptr;
                break;
            default:
                break;
            }
            result = ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }))
        return 0;
    return result;
}

void MivoCboEx::OnComboCommand(int code) {
    switch (code) {
    case CBN_SELCHANGE:
        Raise(OnChange);
        Raise(OnClick);
        break;
    case CBN_DBLCLK:
        Raise(OnDblClick);
        break;
    case CBN_EDITCHANGE:
        Raise(OnChange);
        break;
    case CBN_DROPDOWN:
        awaitingDropList_ = true;
        Raise(OnDropDown);
        break;
    case CBN_CLOSEUP:
        hWndDropList_ = nullptr;
        awaitingDropList_ = false;
        Raise(OnCloseUp);
        break;
    default:
        break;
    }
}

LRESULT MivoCboEx::OnComboNotify(const NMHDR& hdr) {
    switch (hdr.code) {
    case CBEN_BEGINEDIT:
        Raise(OnBeginEdit, ListIndex());
        return 0;
    case CBEN_ENDEDITW: {
        const auto& e = reinterpret_cast<const NMCBEENDEDITW&>(hdr);
        bool cancel = false;
        Raise(OnEndEdit, e.fChanged != FALSE, e.iNewSelection, WideToUtf8(e.szText), e.iWhy,
              cancel);
        return cancel;
    }
    case CBEN_ENDEDITA: {
        const auto& e = reinterpret_cast<const NMCBEENDEDITA&>(hdr);
        bool cancel = false;
        Raise(OnEndEdit, e.fChanged != FALSE, e.iNewSelection, AnsiToUtf8(e.szText), e.iWhy,
              cancel);
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
        return emrConsume;
    default:
        return emrPreprocess;
    }
}

LRESULT MivoCboEx::WindowProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    RunGuarded([&] {
        switch (iMsg) {
        case WM_GETDLGCODE: {
            result = MSubclass::CallPreviousProc(hwnd, iMsg, wParam, lParam);
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) &&
                IsListKey(msg->wParam))
                result |= DLGC_WANTMESSAGE | DLGC_WANTARROWS;
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
        default:
            break;
        }
    });
    return result;
}

LRESULT MivoCboEx::OnKey(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto code = static_cast<std::int32_t>(wParam);
    if (msg == WM_KEYUP) {
        Raise(OnKeyUp, code, ShiftState());
        return 0;
    }
    if (msg == WM_KEYDOWN) {
        Raise(OnKeyDown, code, ShiftState());
        if (code == 0)
            return 0;
        // Enter takes over a completed text as the selection.
        if (code == VK_RETURN && hwnd == hWndEdit_ && doAutoComplete_) {
            std::int32_t index = FindItemIndex(Text(), true);
            if (index >= 0 && index != ListIndex())
                SetListIndex(index);
        }
        return MSubclass::CallPreviousProc(hwnd, msg, static_cast<WPARAM>(code), lParam);
    }
    Raise(OnKeyPress, code);
    if (code != 0 && hwnd == hWndEdit_ && doAutoComplete_)
        AutoCompleteKeyPress(code);
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
        Raise(OnRequestDropDownResize, left, top, right, bottom, cancel);
        if (!cancel)
            ::MoveWindow(hwndList, left, top, right - left, bottom - top, TRUE);
        if (hWndEdit_)
            ::SetFocus(hWndEdit_);
    }
    ::SetBkColor(hdc, ::GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(backBrush_.get());
}

LRESULT MivoCboEx::OnDraw(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // Plain lists and the self-filling font and drive lists draw as the ComboBoxEx does.
    if (drawStyle_ == 0 || drawStyle_ == 8 || drawStyle_ == 9)
        return MSubclass::CallPreviousProc(hwnd, WM_DRAWITEM, wParam, lParam);
    auto& dis = *reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    const bool selected = dis.itemState & ODS_SELECTED;
    const bool focused = dis.itemState & ODS_FOCUS;
    const bool disabled = dis.itemState & ODS_DISABLED;
    const auto index = static_cast<std::int32_t>(dis.itemID);
    RECT rc = dis.rcItem;
    ::FillRect(dis.hDC, &rc, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (index >= 0 && index < ListCount()) {
        RECT textRect = rc;
        if (drawStyle_ == 7) {
            // A swatch of the system colour in front of its name.
            const int side = std::max<int>(rc.bottom - rc.top - 4, 1);
            RECT swatch{rc.left + 2, rc.top + 2, rc.left + 2 + side * 2, rc.top + 2 + side};
            ::FillRect(dis.hDC, &swatch, ::GetSysColorBrush(ItemData(index) & 0xFF));
            ::FrameRect(dis.hDC, &swatch, ::GetSysColorBrush(COLOR_WINDOWTEXT));
            textRect.left = swatch.right + 4;
        }
        const std::wstring text = ItemText(index);
        ::SetBkMode(dis.hDC, TRANSPARENT);
        ::SetTextColor(dis.hDC, ::GetSysColor(disabled   ? COLOR_GRAYTEXT
                                              : selected ? COLOR_HIGHLIGHTTEXT
                                                         : COLOR_WINDOWTEXT));
        ::DrawTextW(dis.hDC, text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if (focused)
        ::DrawFocusRect(dis.hDC, &rc);
    Raise(OnDrawItem, index, dis.hDC, static_cast<std::int32_t>(rc.left),
          static_cast<std::int32_t>(rc.top), static_cast<std::int32_t>(rc.right),
          static_cast<std::int32_t>(rc.bottom), selected, focused, disabled);
    return TRUE;
}
