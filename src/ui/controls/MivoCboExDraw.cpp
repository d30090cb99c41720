// The draw styles of the icon drop-down list: 7 system colours with a swatch, 8 the font
// families, 9 the drives with the system's icons; the first drawn by the control itself.
#include "ui/controls/MivoCboEx.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <set>

namespace {

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

LRESULT MivoCboEx::OnDraw(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // Back to a style the ComboBoxEx draws: as it does.
    if (ComboExDraws())
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
    (void)Fire(OnDrawItem, index, dis.hDC, static_cast<std::int32_t>(rc.left),
               static_cast<std::int32_t>(rc.top), static_cast<std::int32_t>(rc.right),
               static_cast<std::int32_t>(rc.bottom), selected, focused, disabled);
    return TRUE;
}
