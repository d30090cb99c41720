// The icon list under Wine's real ComboBoxEx32: as the main window uses it, then the other members.
#include <gtest/gtest.h>

#include "ui/controls/MivoCboEx.h"
#include "ui/controls/cMIVOImageList.h"
#include "win32/MFatal.h"
#include "win32/Seam.h"

namespace {

// Whatever the control reports fails the running test (installed once, before any test runs).
const Seam<MFatal::Calls>::Override g_failOnReport({[](const AppError& e) {
    ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
}});

// Empties the queue as the owner's loop does, with dialog navigation.
void Pump(HWND dialog) {
    for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);)
        if (!::IsDialogMessageW(dialog, &m)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
}

// A list as the main window's key lists are stored: drop-down list, 8.25-point "MS Sans Serif".
struct MivoCboExTest : ::testing::Test {
    void SetUp() override {
        const HINSTANCE self = ::GetModuleHandleW(nullptr);
        const WNDCLASSW wc{
            .lpfnWndProc = &::DefWindowProcW, .hInstance = self, .lpszClassName = L"Host"};
        ::RegisterClassW(&wc);
        host.reset(::CreateWindowExW(0, L"Host", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                     300, nullptr, nullptr, self, nullptr));
        props.Write(MivoCboExKey::Style, std::int32_t{2});
        props.Write(MivoCboExKey::Font, MivoFont{});
        combo = std::make_unique<MivoCboEx>(host.get(), 10, 10, 300, 22, props);
        Fill(*combo);
    }
    static void Fill(MivoCboEx& c) {
        const char* texts[] = {"Feststelltaste", "Einfg", "Rollen"};
        for (std::int32_t i = 0; i < 3; ++i)
            c.AddItemAndData(texts[i], i, i, 10 + 10 * i);
    }
    // Item i's text, icon, selected icon, indent and data.
    std::string Fields(std::int32_t i) const {
        std::string text = combo->List(i);
        for (std::int32_t n : {combo->ItemIcon(i), combo->ItemIconSelected(i), combo->ItemIndent(i),
                               combo->ItemData(i)})
            text.append(" ").append(std::to_string(n));
        return text;
    }

    UniqueWindow host;
    MivoCboExProps props;
    std::unique_ptr<MivoCboEx> combo; // goes before its host
};

// Dialog navigation leaves these keys to the focused list (else it would take Enter for the
// default button and not pass it on). Destroyed with the parent, the control has no selection.
TEST_F(MivoCboExTest, DialogNavigationLeavesTheListItsKeysAndTheParentItsWindows) {
    std::vector<WPARAM> seen;
    combo->OnKeyDown = [&](std::int32_t& key, std::int32_t) { seen.push_back(key); };
    const std::vector<WPARAM> keys{VK_RETURN, VK_PRIOR, VK_NEXT,  VK_HOME, VK_END,
                                   VK_LEFT,   VK_UP,    VK_RIGHT, VK_DOWN};
    for (WPARAM key : keys) {
        ::SetFocus(combo->hwnd());
        ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, key, 1);
        Pump(host.get());
    }
    EXPECT_EQ(seen, keys);
    combo->SetListIndex(1);
    host.reset();
    EXPECT_EQ(combo->ListIndex(), -1);
}

// Fitted as the main window does: items as tall as the icons, room for eight in the open list
// (which a field fitted short would not leave). Another list is shown when set.
TEST_F(MivoCboExTest, ItemsTakeTheIconsHeightAndTheOpenListEight) {
    const UniqueImageList icons(::ImageList_Create(44, 30, ILC_COLOR24 | ILC_MASK, 1, 1));
    ::ImageList_SetImageCount(icons.get(), 1);
    cMIVOImageList other;
    ASSERT_TRUE(other.Create());
    MivoCboEx cbo(host.get(), 0, 0, 100, 300, 22, props, icons.get());
    cbo.FitHeightToField();
    const auto item = ::SendMessageW(cbo.hWndComboEx(), CB_GETITEMHEIGHT, 0, 0);
    RECT open{};
    ::SendMessageW(cbo.hWndCombo(), CB_GETDROPPEDCONTROLRECT, 0, LPARAM(&open));
    EXPECT_GE(item, 30);
    EXPECT_GE(open.bottom - open.top, 8 * item);
    cbo.SetImageList(&other);
    EXPECT_EQ(::SendMessageW(cbo.hWndComboEx(), CBEM_GETIMAGELIST, 0, 0), LRESULT(other.hIml()));
    cbo.ShowDropDown(true);
    EXPECT_TRUE(cbo.ComboIsDropped());
}

// Item fields written and moved with their item. Sorted, a new item goes to its place (case aside,
// equal texts in the order added); found by its start, with case if the style says.
TEST_F(MivoCboExTest, ItemFieldsChangeOneAtATimeSortedAndFound) {
    combo->SetItemIcon(1, 7);
    combo->SetItemIconSelected(1, 8);
    combo->SetItemIndent(1, 3);
    combo->SetItemData(1, 99);
    combo->SetList(1, "Pause");
    combo->InsertItemAndData("Pos1", 1, 5, 6, 70, 2);
    EXPECT_EQ(Fields(1), "Pos1 5 6 2 70"); // text, icon, selected icon, indent, data
    EXPECT_EQ(Fields(2), "Pause 7 8 3 99");
    combo->RemoveItem(1);
    EXPECT_EQ(Fields(1), "Pause 7 8 3 99");
    combo->Clear();
    combo->SetSorted(true);
    for (const char* text : {"b", "A", "c", "a"})
        combo->AddItem(text);
    std::string order;
    for (std::int32_t i = 0; i < combo->ListCount(); ++i)
        order += combo->List(i);
    EXPECT_EQ(order, "Aabc");
    combo->AddItem("de");
    EXPECT_EQ(combo->FindItemIndex("D"), 4);
    combo->SetExtendedStyle(CBES_EX_CASESENSITIVE, true);
    EXPECT_EQ(combo->FindItemIndex("C"), -1);
}

// Each setting reaches the ComboBoxEx or its combo box, and is stored unless at its default; a
// new style keeps items and selection. A list of its own drawing draws the selection field.
TEST_F(MivoCboExTest, SettingsReachTheWindows) {
    std::int32_t drawn = -2;
    std::string changed;
    combo->OnDrawItem = [&](std::int32_t i, HDC, auto...) { drawn = i; };
    combo->OnPropertyChanged = [&](std::string_view name) { (changed += name) += " "; };
    combo->SetDrawStyle(7);
    combo->SetListIndex(1);
    ::RedrawWindow(combo->hWndCombo(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    combo->SetFont({.Name = "Arial", .Size = 20});
    combo->SetRedraw(false);
    EXPECT_FALSE(::IsWindowVisible(combo->hWndComboEx())) << "not drawn";
    combo->SetDoAutoComplete(true);
    combo->SetAutoCompleteListItemsOnly(true);
    combo->SetAutoCompleteItemsAreSorted(true);
    combo->SetExtendedStyle(CBES_EX_NOEDITIMAGE, true);
    combo->SetExtendedStyle(CBES_EX_NOSIZELIMIT, true);
    combo->SetExtendedStyle(CBES_EX_NOEDITIMAGE, false);
    combo->SetExtendedUI(false);
    combo->SetDropDownWidth(100000);
    combo->SetEnabled(false);
    combo->SetEnabled(false);
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(changed, "Enabled ");
    const HWND ex = combo->hWndComboEx();
    EXPECT_EQ(::SendMessageW(ex, CBEM_GETEXTENDEDSTYLE, 0, 0), CBES_EX_NOSIZELIMIT);
    EXPECT_EQ(::SendMessageW(ex, CB_GETEXTENDEDUI, 0, 0), FALSE);
    EXPECT_EQ(combo->DropDownWidth(), 32767);
    EXPECT_FALSE(::IsWindowEnabled(ex));
    LOGFONTW lf{};
    ::GetObjectW(HFONT(::SendMessageW(ex, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_STREQ(lf.lfFaceName, L"Arial");
    combo->SetStyle(0);
    EXPECT_EQ(combo->ListIndex(), 1);
    EXPECT_EQ(combo->Text(), "Einfg");
    MivoCboExProps bag;
    combo->WriteProperties(bag);
    namespace K = MivoCboExKey;
    std::string stored;
    for (auto key :
         {K::Style, K::Enabled, K::ExtendedUI, K::DropDownWidth, K::DoAutoComplete,
          K::AutoCompleteListItemsOnly, K::AutoCompleteItemsAreSorted, K::DrawStyle, K::Redraw})
        stored += std::to_string(bag.ReadLong(key, -1)) + " ";
    EXPECT_EQ(stored, "-1 0 0 32767 1 1 1 7 0 ");
}

// Each event with what it carries, raised by messages to the list (style 2), the list of a simple
// one (1) or the edit field (0).
TEST_F(MivoCboExTest, EventsReachTheOwner) {
    const struct {
        std::int32_t style = 2;
        UINT msg;
        std::vector<WPARAM> params;
        const char* events;
    } cases[] = {
        // clang-format off
        {.msg = WM_KEYDOWN, .params = {VK_END}, .events = "Change Click "},
        {.msg = CB_SHOWDROPDOWN, .params = {TRUE, FALSE}, .events = "DropDown Resize CloseUp "},
        {.msg = WM_KEYUP, .params = {'X'}, .events = "KeyUp:88 "},
        {.style = 1, .msg = WM_LBUTTONDBLCLK, .params = {0}, .events = "DblClick "},
        {.style = 0, .msg = WM_KEYDOWN, .params = {VK_RETURN},
         .events = "BeginEdit:-1 EndEdit::1:-1:2 "},
        {.style = 0, .msg = WM_CHAR, .params = {'E'},
         .events = "BeginEdit:-1 KeyPress:69 Change AutoComplete:Einfg:1 "},
        // clang-format on
    };
    for (const auto& c : cases) {
        props.Write(MivoCboExKey::Style, c.style);
        props.Write(MivoCboExKey::DoAutoComplete, true);
        MivoCboEx cbo(host.get(), 10, 60, 300, 100, props);
        Fill(cbo);
        std::string log;
        const auto add = [&log](std::string_view event, auto... n) {
            log.append(event);
            ((log.append(":").append(std::to_string(n))), ...);
            log += ' ';
        };
        cbo.OnClick = [=] { add("Click"); };
        cbo.OnChange = [=] { add("Change"); };
        cbo.OnDblClick = [=] { add("DblClick"); };
        cbo.OnDropDown = [=] { add("DropDown"); };
        cbo.OnCloseUp = [=] { add("CloseUp"); };
        cbo.OnRequestDropDownResize = [=](auto&...) { add("Resize"); };
        cbo.OnKeyPress = [=](std::int32_t& k) { add("KeyPress", k); };
        cbo.OnKeyUp = [=](std::int32_t& k, std::int32_t) { add("KeyUp", k); };
        cbo.OnBeginEdit = [=](std::int32_t i) { add("BeginEdit", i); };
        cbo.OnEndEdit = [=](bool changed, std::int32_t i, const std::string& text, std::int32_t why,
                            bool&) { add("EndEdit:" + text, changed, i, why); };
        cbo.OnAutoCompleteSelection = [=](const std::string& t, auto i) {
            add("AutoComplete:" + t, i);
        };
        COMBOBOXINFO info{sizeof info};
        ::GetComboBoxInfo(cbo.hWndCombo(), &info);
        const HWND to[] = {cbo.hWndEdit(), info.hwndList, cbo.hWndCombo()};
        ::SetFocus(cbo.hwnd());
        for (WPARAM param : c.params) {
            ::SendMessageW(to[c.style], c.msg, param, 1);
            Pump(host.get());
        }
        EXPECT_EQ(log, c.events);
    }
}

// A typed character completes the edit text from the first item that starts with it (found by
// halves in a sorted list), the completed part selected; with list items only, a character that
// starts none is swallowed. The selection is read and replaced; typing stops at the maximum length.
TEST_F(MivoCboExTest, TypingCompletesFromTheItems) {
    const struct {
        bool sorted = false, listOnly = false;
        wchar_t typed;
        const char *text, *selected = "";
    } cases[] = {
        {.typed = L'r', .text = "Birne", .selected = "ne"},
        {.sorted = true, .typed = L'e', .text = "Biene", .selected = "ne"},
        {.listOnly = true, .typed = L'x', .text = "Bi"},
    };
    for (const auto& c : cases) {
        MivoCboEx edit(host.get(), 10, 60, 300, 22);
        for (const char* item : {"Apfel", "Banane", "Biene", "Birne"})
            edit.AddItem(item);
        edit.SetDoAutoComplete(true);
        edit.SetAutoCompleteItemsAreSorted(c.sorted);
        edit.SetAutoCompleteListItemsOnly(c.listOnly);
        edit.SetText("Bi");
        edit.SetSelStart(2);
        ::SendMessageW(edit.hWndEdit(), WM_CHAR, c.typed, 1);
        EXPECT_EQ(edit.Text(), c.text);
        EXPECT_EQ(edit.SelText(), c.selected) << c.text;
    }
    MivoCboEx edit(host.get(), 10, 60, 300, 22);
    edit.SetText("Banane");
    edit.SetSelStart(1);
    edit.SetSelLength(3);
    EXPECT_EQ(edit.SelText(), "ana");
    edit.SetSelText("X");
    EXPECT_EQ(edit.Text(), "BXne");
    edit.SetText("");
    edit.SetMaxLength(3);
    for (wchar_t typed : {L'a', L'b', L'c', L'd'})
        ::SendMessageW(edit.hWndEdit(), WM_CHAR, typed, 1);
    EXPECT_EQ(edit.Text(), "abc");
}

} // namespace
