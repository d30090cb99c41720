// Icon drop-down list: one ComboBoxEx32 window inside a child window of its own, with items of
// text, icon, selected-state icon, indent and a 32-bit data value, exposed through properties,
// methods and events (callbacks the owner sets). Hooked messages of the ComboBoxEx and its inner
// windows arrive through MSubclass and are turned into the events. A drop-down list hooks its
// keys when it first takes the focus and its list's colours when it first opens: a window
// of lists starts without a hook on the ones the user never touches.
//
// Item texts travel as UTF-16 (CBEM_*ITEMW), so that umlauts survive on any ANSI code page.
//
// Sources by concern: MivoCboEx.cpp lifecycle and scalar properties, MivoCboExItems.cpp items
// and sorting, MivoCboExMessages.cpp messages, keyboard and auto-completion, MivoCboExDraw.cpp
// the self-filling and self-drawn styles.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "win32/BaseWindow.h"
#include "win32/Handles.h"
#include "ui/controls/MSubclass.h"
#include "ui/controls/MivoCboExProps.h"

class cMIVOImageList;

// What ImageList accepts: an image-list object, a handle number, or (rejected with 0x80040419)
// anything else. The handle number is pointer-sized so that a 64-bit handle is not cut.
using MivoImageListArg = std::variant<const cMIVOImageList*, std::intptr_t, std::string>;

class MivoCboEx final : public BaseWindow<MivoCboEx>, private ISubclass {
  public:
    // Creates the control's window as a child of hwndParent and loads the stored settings; a
    // bag without "Font" takes the parent's font (WM_GETFONT, else the default GUI font). The
    // window is a tab stop; id is its child-window id (what GetDlgItem finds). imageList, when
    // given, is shown from the start, as if set through SetImageList; it must outlive its use.
    MivoCboEx(HWND hwndParent, int id, int x, int y, int width, int height,
              const MivoCboExProps& props = {}, HIMAGELIST imageList = nullptr);
    MivoCboEx(HWND hwndParent, int x, int y, int width, int height,
              const MivoCboExProps& props = {})
        : MivoCboEx(hwndParent, 0, x, y, width, height, props) {}
    ~MivoCboEx();
    MivoCboEx(const MivoCboEx&) = delete;
    MivoCboEx& operator=(const MivoCboEx&) = delete;

    // Writes the persisted settings; values at their default are left out.
    void WriteProperties(MivoCboExProps& bag) const;

    // The height rule of the designer: grows the control (never shrinks it) to the height of
    // its selection field plus 6 pixels, so that a field made taller by the icons shows whole.
    void FitHeightToField();

    // --- Members the main window uses -----------------------------------------------------
    // What a screen reader reads on each window of the list that can hold its focus (its own,
    // the ComboBoxEx, the combo box): the label as name ("&" marks the access key, named as
    // the keyboard shortcut), the description unless empty, the selected item's text as value.
    void SetAccessibleLabel(const std::string& label, const std::string& description = {});
    void AddItemAndData(const std::string& sText, std::int32_t iIcon = 0,
                        std::int32_t iIconSelected = 0, std::int32_t lItemData = 0,
                        std::int32_t lIndent = 0);
    // -1 when nothing is selected, also once the windows are gone.
    std::int32_t ListIndex() const;
    // Raises Click (never Change), also for -1 and for the current index; 381 for an index
    // outside the list, which then keeps its selection.
    void SetListIndex(std::int32_t lIndex);
    // 0 for index -1; 381 outside the list.
    std::int32_t ItemData(std::int32_t lIndex) const;
    bool Redraw() const { return redraw_; }
    void SetRedraw(bool b);
    HWND hwnd() const { return Hwnd(); }
    HWND hWndCombo() const { return hWndCombo_; }

    // --- Other members, in declaration order ----------------------------------------------
    // The list must outlive its use here: the ComboBoxEx does not own it.
    void SetImageList(const MivoImageListArg& vImageList);
    void InsertItemAndData(const std::string& sText, std::int32_t lIndexBefore,
                           std::int32_t iIcon = 0, std::int32_t iIconSelected = 0,
                           std::int32_t lItemData = 0, std::int32_t lIndent = 0);
    std::int32_t ListCount() const;
    void SetItemData(std::int32_t lIndex, std::int32_t lValue);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool bValue);
    // Style 2: the selected item's text (empty if none); otherwise the edit field's text.
    std::string Text() const;
    bool AutoCompleteItemsAreSorted() const { return acSorted_; }
    void SetAutoCompleteItemsAreSorted(bool b) { acSorted_ = b; }
    bool AutoCompleteListItemsOnly() const { return acListOnly_; }
    void SetAutoCompleteListItemsOnly(bool b) { acListOnly_ = b; }
    bool DoAutoComplete() const { return doAutoComplete_; }
    void SetDoAutoComplete(bool b) { doAutoComplete_ = b; }
    // Completes the edit text from the first item that starts with it plus the typed character;
    // sets iKeyAscii to 0 when it has taken the key.
    void AutoCompleteKeyPress(std::int32_t& iKeyAscii);
    bool ExtendedStyle(std::int32_t eStyle) const { return (extendedStyle_ & eStyle) != 0; }
    void SetExtendedStyle(std::int32_t eStyle, bool bState);
    std::int32_t DrawStyle() const { return drawStyle_; }
    void SetDrawStyle(std::int32_t lStyle);
    const MivoFont& Font() const { return font_; }
    void SetFont(const MivoFont& font);
    std::int32_t Style() const { return style_; }
    // Re-creates the ComboBoxEx, keeping the items and the selection (raises Click).
    void SetStyle(std::int32_t lStyle);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool b) { sorted_ = b; }
    std::int32_t DropDownWidth() const { return dropDownWidth_; }
    // Clamped to the 16 bits the setting is stored in.
    void SetDropDownWidth(std::int32_t lWidth);
    bool ComboIsDropped() const;
    void ShowDropDown(bool bState);
    std::int32_t NewIndex() const { return newIndex_; }
    std::int32_t SelLength() const;
    void SetSelLength(std::int32_t l);
    std::int32_t SelStart() const;
    void SetSelStart(std::int32_t l);
    std::string SelText() const;
    void SetSelText(const std::string& s);
    void SetText(const std::string& sText);
    std::int32_t MaxLength() const { return maxLength_; }
    void SetMaxLength(std::int32_t l);
    HWND hWndComboEx() const { return comboEx_.get(); }
    HWND hWndEdit() const { return hWndEdit_; }
    void Clear();
    bool ExtendedUI() const { return extendedUI_; }
    void SetExtendedUI(bool b);
    void AddItem(const std::string& sText);
    void InsertItem(const std::string& sText, std::int32_t lIndexBefore);
    // -1 when no item's text equals (or, unless exact, starts with) sToFind.
    std::int32_t FindItemIndex(const std::string& sToFind, bool bExactMatch = false) const;
    std::int32_t ItemIndent(std::int32_t lIndex) const;
    void SetItemIndent(std::int32_t lIndex, std::int32_t v);
    std::int32_t ItemIcon(std::int32_t lIndex) const;
    void SetItemIcon(std::int32_t lIndex, std::int32_t v);
    std::int32_t ItemIconSelected(std::int32_t lIndex) const;
    void SetItemIconSelected(std::int32_t lIndex, std::int32_t v);
    std::string List(std::int32_t lIndex) const;
    void SetList(std::int32_t lIndex, const std::string& sText);
    void RemoveItem(std::int32_t lIndex);

    // --- Events, in declaration order ------------------------------------------------------
    std::function<void(const std::string& sText, std::int32_t lIndex)> OnAutoCompleteSelection;
    std::function<void(std::int32_t lIndex)> OnBeginEdit;
    std::function<void(bool bChanged, std::int32_t lNewIndex, const std::string& sText,
                       std::int32_t iWhy, bool& bCancel)>
        OnEndEdit;
    std::function<void()> OnChange;
    std::function<void()> OnClick;
    std::function<void()> OnCloseUp;
    std::function<void()> OnDblClick;
    std::function<void(std::int32_t lIndex, HDC hDC, std::int32_t lLeft, std::int32_t lTop,
                       std::int32_t lRight, std::int32_t lBottom, bool bSelected, bool bFocused,
                       bool bDisabled)>
        OnDrawItem;
    std::function<void()> OnDropDown;
    // Setting KeyCode to 0 swallows the key.
    std::function<void(std::int32_t& KeyCode, std::int32_t Shift)> OnKeyDown;
    std::function<void(std::int32_t& KeyCode, std::int32_t Shift)> OnKeyUp;
    std::function<void(std::int32_t& KeyAscii)> OnKeyPress;
    std::function<void(std::int32_t& lLeft, std::int32_t& lTop, std::int32_t& lRight,
                       std::int32_t& lBottom, bool& bCancel)>
        OnRequestDropDownResize;
    // The container learns of a changed persisted property (name as stored).
    std::function<void(std::string_view name)> OnPropertyChanged;

  private:
    friend class BaseWindow<MivoCboEx>;
    static const wchar_t* ClassName() { return L"TavelinMivoCboEx"; }
    static void CustomizeClass(WNDCLASSEXW& wc) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    struct Item {
        std::wstring text;
        std::int32_t icon, iconSelected, indent, data;
    };
    // Sends an item message (insert, set) with the item's fields under mask.
    LRESULT SendItem(UINT msg, std::int32_t lIndex, UINT mask, const Item& item) const;

    // ISubclass
    std::int32_t MsgResponse() override;
    void SetMsgResponse(std::int32_t) override {}
    LRESULT WindowProc(HWND hwnd, UINT iMsg, WPARAM wParam, LPARAM lParam) override;

    void OnComboCommand(int code);
    LRESULT OnComboNotify(const NMHDR& hdr);
    LRESULT OnCtlColor(HDC hdc, HWND hwndList, bool isList);
    LRESULT OnKey(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnDraw(HWND hwnd, WPARAM wParam, LPARAM lParam);
    // WM_GETOBJECT of any of the list's windows: its object with the label, else the window's
    // own answer (previous: whether the window is hooked).
    LRESULT OnGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, bool previous);

    void CreateComboEx();
    void DestroyComboEx() noexcept;
    void Hook(HWND hwnd, UINT msg);
    // The hooks that wait until they are first needed; each attaches once per ComboBoxEx.
    void HookKeys();
    void HookListColours();
    void HookDrawing();
    // Once a label is set: a reader asks the inner windows directly.
    void HookAccessible();
    void UnhookAll() noexcept;
    void Resize();
    void ApplyFont();
    void FillSelf();
    void Insert(const std::wstring& text, std::int32_t lIndexBefore, std::int32_t iIcon,
                std::int32_t iIconSelected, std::int32_t lItemData, std::int32_t lIndent);
    Item GetItem(std::int32_t lIndex) const;
    void SetItem(std::int32_t lIndex, UINT mask, const Item& item);
    void CheckIndex(std::int32_t lIndex) const;
    std::wstring ItemText(std::int32_t lIndex) const;
    int Compare(std::wstring_view a, std::wstring_view b) const;
    LRESULT SendCombo(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(comboEx_.get(), msg, wParam, lParam);
    }
    // Raises an event. False when the handler has destroyed the control: the caller must
    // then return at once, touching no member.
    template <typename F, typename... A> [[nodiscard]] bool Fire(const F& f, A&&... args) {
        if (!*alive_)
            return false;
        const std::shared_ptr<const bool> alive = alive_;
        if (f)
            f(std::forward<A>(args)...);
        return *alive;
    }
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    UniqueWindow comboEx_; // the inner ComboBoxEx32; goes with this window too
    HWND hWndCombo_ = nullptr;
    HWND hWndEdit_ = nullptr;
    HWND hWndDropList_ = nullptr;
    bool awaitingDropList_ = false;
    HIMAGELIST imageList_ = nullptr;
    std::int32_t iconHeight_ = 0;
    std::int32_t style_ = 0;
    std::int32_t extendedStyle_ = 0;
    bool enabled_ = true;
    bool redraw_ = true;
    bool sorted_ = false;
    bool extendedUI_ = true;
    std::int32_t dropDownWidth_ = -1;
    std::int32_t maxLength_ = 0;
    bool doAutoComplete_ = false;
    bool acListOnly_ = false;
    bool acSorted_ = false;
    std::int32_t drawStyle_ = 0;
    // Plain lists and the self-filling font and drive lists are drawn by the ComboBoxEx itself.
    bool ComboExDraws() const noexcept {
        return drawStyle_ == 0 || drawStyle_ == 8 || drawStyle_ == 9;
    }
    MivoFont font_;
    HFONT hFont_ = nullptr; // shared, see mivo::SharedFont
    // While the ComboBoxEx takes over a selection: the edit field's change notice that it
    // causes is an echo of the selection, not a user's change.
    bool inSelection_ = false;
    std::int32_t newIndex_ = -1;
    std::vector<std::pair<HWND, UINT>> hooks_;
    bool keysHooked_ = false;
    bool listColoursHooked_ = false;
    bool drawingHooked_ = false;
    bool accessibleHooked_ = false;
    std::string accessibleLabel_, accessibleDescription_;
    int askedHeight_ = -1; // the ComboBoxEx's height last asked for
};
