// Lifecycle and scalar properties of the icon drop-down list.
#include "ui/controls/MivoCboEx.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <limits>
#include <map>
#include <tuple>

#include "core/AppError.h"
#include "ui/controls/MInitComCtls.h"
#include "ui/controls/MivoCboExInternal.h"
#include "ui/controls/cMIVOImageList.h"
#include "win32/MDpi.h"
#include "win32/MFatal.h"
#include "win32/MText.h"

namespace mivo {

void RaiseImageListArgument() {
    kImageListSource.Raise(
        static_cast<std::int32_t>(0x80040419u),
        "ImageList property expects ImageList object or long hImageList handle.");
}

HFONT SharedFont(const MivoFont& f, int dpi) {
    using Key = std::tuple<std::string, double, bool, bool, bool, bool, std::int32_t, int>;
    static std::map<Key, UniqueFont> fonts;
    const Key key{f.Name, f.Size, f.Bold, f.Italic, f.Underline, f.Strikethrough, f.Charset, dpi};
    UniqueFont& font = fonts[key];
    if (!font) {
        LOGFONTW lf{};
        lf.lfHeight = -static_cast<LONG>(std::lround(f.Size * dpi / 72.0));
        lf.lfWeight = f.Bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = f.Italic;
        lf.lfUnderline = f.Underline;
        lf.lfStrikeOut = f.Strikethrough;
        lf.lfCharSet = static_cast<BYTE>(f.Charset);
        const std::wstring face = MText::Utf8ToWide(f.Name);
        std::wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
        font.reset(::CreateFontIndirectW(&lf));
    }
    return font.get();
}

} // namespace mivo

namespace {

// The font a new control takes when its settings carry none: its container's.
MivoFont ContainerFont(HWND parent) {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0));
    if (!font)
        font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW lf{};
    if (!font || !::GetObjectW(font, sizeof lf, &lf))
        return MivoFont{};
    MivoFont f;
    f.Name = MText::WideToUtf8(lf.lfFaceName);
    f.Size = std::abs(lf.lfHeight) * 72.0 / MDpi::WindowDpi(parent);
    f.Bold = lf.lfWeight >= FW_BOLD;
    f.Italic = lf.lfItalic != 0;
    f.Underline = lf.lfUnderline != 0;
    f.Strikethrough = lf.lfStrikeOut != 0;
    f.Charset = lf.lfCharSet;
    return f;
}

// The drop-down width is stored in 16 bits.
std::int32_t ClampedWidth(std::int32_t width) {
    return std::clamp<std::int32_t>(width, std::numeric_limits<std::int16_t>::min(),
                                    std::numeric_limits<std::int16_t>::max());
}

// Moves a window to 0,0 unless it already has that place and size: every move costs a round
// of size messages and a trip to the window manager. A height already asked for counts as had:
// a window that keeps a height of its own would only refuse it again.
void Place(HWND hwnd, int width, int height, bool heightAsked = false) {
    RECT now{};
    ::GetWindowRect(hwnd, &now);
    POINT origin{now.left, now.top};
    ::ScreenToClient(::GetParent(hwnd), &origin);
    if (origin.x != 0 || origin.y != 0 || now.right - now.left != width ||
        (now.bottom - now.top != height && !heightAsked))
        ::MoveWindow(hwnd, 0, 0, width, height, TRUE);
}

} // namespace

void MivoCboEx::CustomizeClass(WNDCLASSEXW& wc) noexcept {
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
}

MivoCboEx::MivoCboEx(HWND hwndParent, int id, int x, int y, int width, int height,
                     const MivoCboExProps& props, HIMAGELIST imageList) {
    // Registers the class once per process; a later call would only find it registered.
    static const bool registered = MInitComCtls::InitComCtls();
    (void)registered;

    // Every setting is read before the windows exist, so that each reaches them once.
    style_ = props.ReadLong(MivoCboExKey::Style, 0);
    if (style_ < 0 || style_ > 2)
        mivo::kSource.Raise(5);
    enabled_ = props.ReadBool(MivoCboExKey::Enabled, true);
    extendedUI_ = props.ReadBool(MivoCboExKey::ExtendedUI, true);
    dropDownWidth_ = ClampedWidth(props.ReadLong(MivoCboExKey::DropDownWidth, -1));
    acListOnly_ = props.ReadBool(MivoCboExKey::AutoCompleteListItemsOnly, false);
    acSorted_ = props.ReadBool(MivoCboExKey::AutoCompleteItemsAreSorted, false);
    doAutoComplete_ = props.ReadBool(MivoCboExKey::DoAutoComplete, false);
    drawStyle_ = props.ReadLong(MivoCboExKey::DrawStyle, 0);
    redraw_ = props.ReadBool(MivoCboExKey::Redraw, true);
    font_ = props.ReadFont(MivoCboExKey::Font).value_or(ContainerFont(hwndParent));
    if (imageList) {
        imageList_ = imageList;
        int cx = 0, cy = 0;
        if (::ImageList_GetIconSize(imageList, &cx, &cy))
            iconHeight_ = cy;
    }

    CreateWin(mivo::kSource, 0, L"",
              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | (enabled_ ? 0 : WS_DISABLED),
              x, y, width, height, hwndParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    try {
        hFont_ = mivo::SharedFont(font_, MDpi::WindowDpi(Hwnd()));
        CreateComboEx();
        FillSelf();
        Resize();
    } catch (...) {
        *alive_ = false;
        Destroy();
        throw;
    }
}

MivoCboEx::~MivoCboEx() {
    *alive_ = false; // no events from here on
    Destroy();
    UnhookAll();
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

void MivoCboEx::FitHeightToField() {
    if (!Hwnd() || !comboEx_)
        return;
    const int field = static_cast<int>(SendCombo(CB_GETITEMHEIGHT, static_cast<WPARAM>(-1))) + 6;
    RECT rect{};
    ::GetWindowRect(Hwnd(), &rect);
    if (field > rect.bottom - rect.top)
        ::SetWindowPos(Hwnd(), nullptr, 0, 0, rect.right - rect.left, field,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MivoCboEx::CreateComboEx() {
    DestroyComboEx();
    const DWORD kind = style_ == 0 ? CBS_DROPDOWN : style_ == 1 ? CBS_SIMPLE : CBS_DROPDOWNLIST;
    RECT rc{};
    ::GetClientRect(Hwnd(), &rc);
    // Created in place, at its size and visible: moving and showing it afterwards costs a round
    // of messages. The inner combo box gets the open list's height in Resize.
    comboEx_.reset(::CreateWindowExW(
        0, WC_COMBOBOXEXW, L"", WS_CHILD | WS_VISIBLE | kind, 0, 0, rc.right, rc.bottom, Hwnd(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), ::GetModuleHandleW(nullptr), nullptr));
    if (!comboEx_)
        mivo::kSource.Raise(5);
    askedHeight_ = rc.bottom;
    hWndCombo_ = reinterpret_cast<HWND>(SendCombo(CBEM_GETCOMBOCONTROL));
    if (style_ == 0)
        hWndEdit_ = reinterpret_cast<HWND>(SendCombo(CBEM_GETEDITCONTROL));

    // The icons first: the font then measures the items once, with the icons' height in it.
    // Settings at a new window's default are not sent.
    if (imageList_)
        SendCombo(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imageList_));
    if (hFont_)
        SendCombo(WM_SETFONT, reinterpret_cast<WPARAM>(hFont_), FALSE);
    if (!enabled_)
        ::EnableWindow(comboEx_.get(), FALSE);
    if (extendedStyle_)
        SendCombo(CBEM_SETEXSTYLE, 0, extendedStyle_);
    if (!redraw_)
        SendCombo(WM_SETREDRAW, FALSE);
    if (extendedUI_)
        SendCombo(CB_SETEXTENDEDUI, TRUE);
    if (dropDownWidth_ > 0)
        SendCombo(CB_SETDROPPEDWIDTH, dropDownWidth_);
    if (maxLength_ > 0)
        SetMaxLength(maxLength_);

    // A drop-down list's keys can wait for its focus (HookKeys on CBN_SETFOCUS); an edit
    // field may take the focus without the combo box telling.
    if (style_ != 2)
        HookKeys();
    HookDrawing();
    HookAccessible();
}

void MivoCboEx::DestroyComboEx() noexcept {
    UnhookAll();
    if (comboEx_)
        ::ShowWindow(comboEx_.get(), SW_HIDE);
    comboEx_.reset();
    hWndCombo_ = hWndEdit_ = hWndDropList_ = nullptr;
    awaitingDropList_ = false;
}

void MivoCboEx::Hook(HWND hwnd, UINT msg) {
    MSubclass::HookMessage(this, hwnd, msg);
    hooks_.emplace_back(hwnd, msg);
}

void MivoCboEx::HookKeys() {
    if (keysHooked_ || !comboEx_)
        return;
    keysHooked_ = true;
    if (style_ == 0) // to tell the edit field's echo of a selection from a user's change
        Hook(comboEx_.get(), WM_COMMAND);
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
    if (hWndEdit_) {
        Hook(hWndEdit_, WM_GETDLGCODE);
        Hook(hWndEdit_, WM_KEYDOWN);
        Hook(hWndEdit_, WM_CHAR);
        Hook(hWndEdit_, WM_KEYUP);
    }
}

void MivoCboEx::HookListColours() {
    if (listColoursHooked_ || !comboEx_)
        return;
    listColoursHooked_ = true;
    Hook(comboEx_.get(), WM_CTLCOLORLISTBOX);
}

void MivoCboEx::HookDrawing() {
    if (drawingHooked_ || !comboEx_ || ComboExDraws())
        return;
    drawingHooked_ = true;
    Hook(comboEx_.get(), WM_DRAWITEM);
}

void MivoCboEx::HookAccessible() {
    if (accessibleHooked_ || !comboEx_ || accessibleLabel_.empty())
        return;
    accessibleHooked_ = true;
    Hook(comboEx_.get(), WM_GETOBJECT);
    if (hWndCombo_)
        Hook(hWndCombo_, WM_GETOBJECT);
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
    keysHooked_ = listColoursHooked_ = drawingHooked_ = accessibleHooked_ = false;
}

void MivoCboEx::Resize() {
    if (!Hwnd() || !comboEx_)
        return;
    RECT rc{};
    ::GetClientRect(Hwnd(), &rc);
    // The ComboBoxEx takes the height of its selection field, whatever it is given.
    Place(comboEx_.get(), rc.right, rc.bottom, askedHeight_ == rc.bottom);
    askedHeight_ = rc.bottom;
    if (hWndCombo_) {
        auto itemHeight = static_cast<int>(SendCombo(CB_GETITEMHEIGHT, 0));
        Place(hWndCombo_, rc.right, style_ == 1 ? rc.bottom : rc.bottom + 2 + 8 * itemHeight);
    }
}

void MivoCboEx::ApplyFont() {
    HFONT font = mivo::SharedFont(font_, MDpi::WindowDpi(Hwnd()));
    if (!font)
        return;
    SendCombo(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    hFont_ = font;
    Resize();
}

void MivoCboEx::SetRedraw(bool b) {
    redraw_ = b;
    SendCombo(WM_SETREDRAW, b);
    if (b && comboEx_)
        ::InvalidateRect(comboEx_.get(), nullptr, TRUE);
}

void MivoCboEx::SetAccessibleLabel(const std::string& label, const std::string& description) {
    accessibleLabel_ = label;
    accessibleDescription_ = description;
    HookAccessible();
}

// --- Members the main window does not call ------------------------------------------------

void MivoCboEx::SetImageList(const MivoImageListArg& vImageList) {
    HIMAGELIST handle = nullptr;
    if (const auto* obj = std::get_if<const cMIVOImageList*>(&vImageList))
        handle = *obj ? (*obj)->hIml() : nullptr;
    else if (const auto* number = std::get_if<std::intptr_t>(&vImageList))
        handle = reinterpret_cast<HIMAGELIST>(*number);
    else
        mivo::RaiseImageListArgument();
    if (!handle)
        return;
    imageList_ = handle;
    int cx = 0, cy = 0;
    if (::ImageList_GetIconSize(handle, &cx, &cy))
        iconHeight_ = cy;
    SendCombo(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(handle));
    ApplyFont();
}

void MivoCboEx::SetEnabled(bool bValue) {
    if (bValue == enabled_)
        return;
    enabled_ = bValue;
    ::EnableWindow(Hwnd(), bValue);
    ::EnableWindow(comboEx_.get(), bValue);
    (void)Fire(OnPropertyChanged, MivoCboExKey::Enabled);
}

std::string MivoCboEx::Text() const {
    if (!comboEx_)
        return {};
    if (style_ == 2) {
        std::int32_t index = ListIndex();
        return index < 0 ? std::string() : MText::WideToUtf8(ItemText(index));
    }
    auto length = static_cast<std::size_t>(SendCombo(WM_GETTEXTLENGTH));
    std::wstring buf(length + 1, L'\0');
    SendCombo(WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(std::wcslen(buf.c_str()));
    return MText::WideToUtf8(buf);
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
        mivo::kSource.Raise(5);
    if (lStyle == style_)
        return;
    if (!comboEx_) {
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
        SendItem(CBEM_INSERTITEMW, -1, mivo::kItemMaskAll, item);
    SendCombo(WM_SETREDRAW, redraw_);
    const std::shared_ptr<const bool> alive = alive_;
    SetListIndex(selected); // raises Click, whose handler may end the control
    if (!*alive)
        return;
    if (style_ != 2)
        SetText(text);
    Resize();
}

void MivoCboEx::SetDrawStyle(std::int32_t lStyle) {
    drawStyle_ = lStyle;
    HookDrawing();
}

void MivoCboEx::SetDropDownWidth(std::int32_t lWidth) {
    dropDownWidth_ = ClampedWidth(lWidth);
    // 0 asks for the smallest width, which is the system's: the width of the combo itself.
    SendCombo(CB_SETDROPPEDWIDTH, std::max(dropDownWidth_, 0));
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
    return MText::WideToUtf8(text.substr(start, static_cast<std::size_t>(SelLength())));
}

void MivoCboEx::SetSelText(const std::string& s) {
    if (hWndEdit_)
        ::SendMessageW(hWndEdit_, EM_REPLACESEL, TRUE,
                       reinterpret_cast<LPARAM>(MText::Utf8ToWide(s).c_str()));
}

void MivoCboEx::SetText(const std::string& sText) {
    SendCombo(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(MText::Utf8ToWide(sText).c_str()));
}

void MivoCboEx::SetMaxLength(std::int32_t l) {
    maxLength_ = l;
    SendCombo(CB_LIMITTEXT, l);
    // The edit field the user types into is the ComboBoxEx's own: the combo box's limit misses it.
    if (hWndEdit_)
        ::SendMessageW(hWndEdit_, EM_LIMITTEXT, l, 0);
}

void MivoCboEx::SetExtendedUI(bool b) {
    extendedUI_ = b;
    SendCombo(CB_SETEXTENDEDUI, b);
}
