// Items of the icon drop-down list: insertion (at the sorted place when Sorted), the per-item
// fields, lookup and the selection.
#include "ui/controls/MivoCboEx.h"

#include "ui/controls/MivoCboExInternal.h"
#include "win32/MText.h"

void MivoCboEx::AddItemAndData(const std::string& sText, std::int32_t iIcon,
                               std::int32_t iIconSelected, std::int32_t lItemData,
                               std::int32_t lIndent) {
    InsertItemAndData(sText, -1, iIcon, iIconSelected, lItemData, lIndent);
}

void MivoCboEx::InsertItemAndData(const std::string& sText, std::int32_t lIndexBefore,
                                  std::int32_t iIcon, std::int32_t iIconSelected,
                                  std::int32_t lItemData, std::int32_t lIndent) {
    Insert(MText::Utf8ToWide(sText), lIndexBefore, iIcon, iIconSelected, lItemData, lIndent);
}

void MivoCboEx::Insert(const std::wstring& text, std::int32_t lIndexBefore, std::int32_t iIcon,
                       std::int32_t iIconSelected, std::int32_t lItemData, std::int32_t lIndent) {
    std::int32_t pos = lIndexBefore;
    const std::int32_t count = sorted_ ? ListCount() : 0;
    if (count > 0) {
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
    newIndex_ =
        static_cast<std::int32_t>(SendItem(CBEM_INSERTITEMW, pos, mivo::kItemMaskAll,
                                           Item{text, iIcon, iIconSelected, lIndent, lItemData}));
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
    // Without a window the message would answer 0, the first item.
    return comboEx_ ? static_cast<std::int32_t>(SendCombo(CB_GETCURSEL)) : -1;
}

void MivoCboEx::SetListIndex(std::int32_t lIndex) {
    // Checked first: the combo would answer a bad index by clearing the selection as well.
    if (lIndex < -1 || lIndex >= ListCount())
        mivo::kSource.Raise(381);
    // The edit field's change notice for the text it takes over is no user's change.
    inSelection_ = true;
    const LRESULT set = SendCombo(CB_SETCURSEL, static_cast<WPARAM>(lIndex));
    inSelection_ = false;
    if (set == CB_ERR && lIndex != -1)
        mivo::kSource.Raise(381);
    (void)Fire(OnClick);
}

void MivoCboEx::CheckIndex(std::int32_t lIndex) const {
    if (lIndex < 0 || lIndex >= ListCount())
        mivo::kSource.Raise(381);
}

MivoCboEx::Item MivoCboEx::GetItem(std::int32_t lIndex) const {
    CheckIndex(lIndex);
    COMBOBOXEXITEMW it{};
    it.mask = CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_INDENT | CBEIF_LPARAM;
    it.iItem = lIndex;
    if (!SendCombo(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)))
        mivo::kSource.Raise(381);
    return Item{ItemText(lIndex), it.iImage, it.iSelectedImage, it.iIndent,
                static_cast<std::int32_t>(it.lParam)};
}

void MivoCboEx::SetItem(std::int32_t lIndex, UINT mask, const Item& item) {
    CheckIndex(lIndex);
    if (!SendItem(CBEM_SETITEMW, lIndex, mask, item))
        mivo::kSource.Raise(381);
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
            mivo::kSource.Raise(381);
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
        mivo::kSource.Raise(381);
    return static_cast<std::int32_t>(it.lParam);
}

// --- Members the main window does not call ------------------------------------------------

void MivoCboEx::SetItemData(std::int32_t lIndex, std::int32_t lValue) {
    if (lIndex == -1)
        return;
    Item item{};
    item.data = lValue;
    SetItem(lIndex, CBEIF_LPARAM, item);
}

void MivoCboEx::Clear() {
    SendCombo(CB_RESETCONTENT);
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
    const std::wstring wanted = MText::Utf8ToWide(sToFind);
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
    return MText::WideToUtf8(ItemText(lIndex));
}
void MivoCboEx::SetList(std::int32_t lIndex, const std::string& sText) {
    if (lIndex != -1)
        SetItem(lIndex, CBEIF_TEXT, Item{MText::Utf8ToWide(sText), 0, 0, 0, 0});
}

void MivoCboEx::RemoveItem(std::int32_t lIndex) {
    CheckIndex(lIndex);
    if (SendCombo(CBEM_DELETEITEM, static_cast<WPARAM>(lIndex)) == CB_ERR)
        mivo::kSource.Raise(381);
}
