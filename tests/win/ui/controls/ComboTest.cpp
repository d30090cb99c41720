// The icon drop-down list under Wine's real ComboBoxEx32, driven by real key input.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "win32/Fatal.h"
#include "ui/controls/MivoCboEx.h"

namespace {

// Whatever the control reports fails the running test (installed once, before any test runs).
const FatalHandler g_previous = SetFatalHandler([](const AppError& e) {
    ADD_FAILURE() << "reported: " << e.Number() << " " << e.Description();
});

int g_okCommands = 0; // WM_COMMAND IDOK that reached the host window

// Stored as the main window's key lists are: drop-down list, 8.25-point "MS Sans Serif".
MivoCboExProps DropDownList() {
    MivoCboExProps bag;
    bag.Write(MivoCboExKey::Style, std::int32_t{2}), bag.Write(MivoCboExKey::Font, MivoFont{});
    return bag;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_okCommands += msg == WM_COMMAND && LOWORD(wParam) == IDOK;
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Runs the owner's message loop as a window with dialog navigation does.
void Pump(HWND dialog, DWORD ms = 0) {
    for (const DWORD end = ::GetTickCount() + ms;; ::Sleep(1)) {
        for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);)
            if (!::IsDialogMessageW(dialog, &m))
                ::TranslateMessage(&m), ::DispatchMessageW(&m);
        if (::GetTickCount() >= end)
            return;
    }
}

struct ComboTest : ::testing::Test {
    void SetUp() override {
        g_okCommands = 0;
        const WNDCLASSW wc{0,       &HostProc, 0,       0,       ::GetModuleHandleW(nullptr),
                           nullptr, nullptr,   nullptr, nullptr, L"ComboTestHost"};
        ::RegisterClassW(&wc);
        host = ::CreateWindowExW(0, L"ComboTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                 0, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
        button = ::CreateWindowExW(
            0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 200, 80,
            24, host, reinterpret_cast<HMENU>(IDOK), wc.hInstance, nullptr);
        combo = std::make_unique<MivoCboEx>(host, 10, 10, 300, 22, DropDownList());
        combo->AddItemAndData("Feststelltaste", 0, 0, 10);
        combo->AddItemAndData("Ωmega", 1, 1, 20); // outside the Western ANSI code page
        combo->AddItemAndData("Rollen", 2, 2, 30);
        combo->OnChange = [this] { events.push_back("Change"); };
        combo->OnClick = [this] { events.push_back("Click"); };
    }
    void TearDown() override {
        combo.reset();
        ::DestroyWindow(host);
    }
    // Runs body, which must raise error number from source; returns the error's description.
    static std::string ExpectError(std::int32_t number, std::string source, auto&& body) try {
        body();
        ADD_FAILURE() << "no error " << number;
        return "";
    } catch (const AppError& e) {
        EXPECT_EQ(std::pair(e.Number(), e.Source()), std::pair(number, source));
        return e.Description();
    }

    HWND host = nullptr, button = nullptr;
    std::unique_ptr<MivoCboEx> combo;
    std::vector<std::string> events;
    using Events = std::vector<std::string>;
};

// The main window's lists use the extended keyboard interface: Down opens the closed list,
// the next Down picks, Enter closes. Without it Down picks at once, in either style: with an
// edit field (Style 0) the field's own change notice for the picked text is no second Change.
// A Style change keeps items and selection; in Style 0 it also puts the text back (Change).
TEST_F(ComboTest, UserSelectionRaisesChangeThenClickOnceInEveryStyle) {
    combo->OnDropDown = [this] { events.push_back("DropDown"); };
    combo->OnCloseUp = [this] { events.push_back("CloseUp"); };
    combo->SetListIndex(0);
    const std::tuple<WPARAM, Events, std::int32_t> steps[] = {
        {VK_DOWN, {"DropDown"}, 0}, {VK_DOWN, {"Change", "Click"}, 1}, {VK_RETURN, {"CloseUp"}, 1}};
    for (const auto& [key, expected, index] : steps) {
        events.clear();
        ::SendMessageW(combo->hWndCombo(), WM_KEYDOWN, key, 0);
        EXPECT_EQ(std::pair(events, combo->ListIndex()), std::pair(expected, index)) << key;
    }

    combo->SetExtendedUI(false);
    for (std::int32_t style : {2, 0}) {
        events.clear();
        combo->SetStyle(style);
        EXPECT_EQ(std::tuple(events, combo->ListCount(), combo->ListIndex()),
                  std::tuple(style == 0 ? Events{"Click", "Change"} : Events{}, 3, 1));
        EXPECT_EQ(combo->hWndEdit() != nullptr, style == 0);
        events.clear();
        ::SendMessageW(combo->hWndCombo(), WM_KEYDOWN, VK_UP, 0);
        EXPECT_EQ(std::pair(events, combo->ListIndex()), std::pair(Events{"Change", "Click"}, 0))
            << style;
        events.clear();
        combo->SetListIndex(1);
        EXPECT_EQ(events, Events{"Click"}) << style;
    }

    events.clear();
    ::SetForegroundWindow(host);
    ::SetFocus(combo->hWndCombo());
    INPUT keys[2] = {{INPUT_KEYBOARD, {.ki = {VK_DOWN, 0, 0, 0, 0}}},
                     {INPUT_KEYBOARD, {.ki = {VK_DOWN, 0, KEYEVENTF_KEYUP, 0, 0}}}};
    ASSERT_EQ(::SendInput(2, keys, sizeof(INPUT)), 2u);
    Pump(host, 200);
    EXPECT_EQ(std::pair(events, combo->ListIndex()), std::pair(Events{"Change", "Click"}, 2));
}

// Every write raises Click, also of the same value or -1; a rejected one raises nothing. Windows
// destroys the control's windows with their parent: the hooks must go with them, and the control
// then has no selection (a message to no window would answer 0, the first item).
TEST_F(ComboTest, ListIndexItemDataAndTextAsTheMainWindowUsesThem) {
    EXPECT_EQ(std::pair(combo->ItemData(-1), combo->Text()), std::pair(0, std::string()));
    for (std::int32_t index : {2, 2, -1, -1, 1}) {
        events.clear();
        combo->SetListIndex(index);
        EXPECT_EQ(std::pair(events, combo->ListIndex()), std::pair(Events{"Click"}, index));
    }
    EXPECT_EQ(std::pair(combo->ItemData(1), combo->Text()), std::pair(20, std::string("Ωmega")));

    const std::string own = ExeName() + ".MivoComboEx";
    events.clear();
    for (const std::int32_t bad : {5, -2})
        ExpectError(381, own, [&] { combo->SetListIndex(bad); });
    EXPECT_EQ(std::pair(events, combo->ListIndex()), std::pair(Events{}, 1));
    ExpectError(381, own, [&] { (void)combo->ItemData(3); });
    EXPECT_EQ(ExpectError(-2147220455, "MivoDriveCboEx." + ExeName(),
                          [&] { combo->SetImageList(std::string("icons")); }),
              "ImageList property expects ImageList object or long hImageList handle.");

    // Disabling twice disables once and reports once.
    combo->OnPropertyChanged = [this](std::string_view name) { events.emplace_back(name); };
    combo->SetEnabled(false);
    combo->SetEnabled(false);
    EXPECT_EQ(events, Events{"Enabled"});
    EXPECT_FALSE(::IsWindowEnabled(combo->hwnd()) || ::IsWindowEnabled(combo->hWndComboEx()));

    ::DestroyWindow(std::exchange(host, nullptr));
    EXPECT_EQ(std::tuple(combo->hwnd(), combo->ListIndex(), combo->Text()),
              std::tuple(HWND{}, -1, std::string()));
}

// While the list has the focus, dialog navigation leaves these keys to it (else Enter would
// press the default button). Tab is not the list's: it moves on.
TEST_F(ComboTest, DialogNavigationLeavesTheListItsKeys) {
    std::vector<WPARAM> seen;
    combo->OnKeyDown = [&](std::int32_t& key, std::int32_t) { seen.push_back(key); };
    const std::vector<WPARAM> keys{VK_RETURN, VK_PRIOR, VK_NEXT,  VK_HOME, VK_END,
                                   VK_LEFT,   VK_UP,    VK_RIGHT, VK_DOWN};
    for (WPARAM key : keys) {
        ::SetFocus(combo->hWndCombo());
        ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, key, 1);
        Pump(host);
    }
    EXPECT_EQ(std::tuple(seen, g_okCommands, ::GetFocus()),
              std::tuple(keys, 0, combo->hWndCombo()));
    ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, VK_TAB, 1);
    Pump(host);
    EXPECT_EQ(::GetFocus(), button);
}

// A Change handler that ends the control: nothing of it may be touched afterwards. Its memory
// is overwritten at once, so that a late Click would jump into garbage.
TEST_F(ComboTest, HandlerDestroyingTheControlEndsTheEvents) {
    alignas(MivoCboEx) static unsigned char storage[sizeof(MivoCboEx)];
    auto* doomed = new (storage) MivoCboEx(host, 10, 100, 300, 22, DropDownList());
    doomed->AddItem("a"), doomed->AddItem("b");
    doomed->SetListIndex(0);
    doomed->SetExtendedUI(false);
    doomed->OnClick = [this] { events.push_back("Click"); };
    doomed->OnChange = [this, doomed] {
        events.push_back("Change");
        doomed->~MivoCboEx();
        std::memset(storage, 0xCD, sizeof storage);
    };
    ::SendMessageW(doomed->hWndCombo(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(events, Events{"Change"});
}

// Typed characters complete as typed: the hooks receive them in the ANSI code page, where
// "€" is 0x80 on a Western system and "Ω" 0xD9 on a Greek one. Each runs where the system's
// code page has it (combo_tests_greek runs this under a Greek system locale).
TEST_F(ComboTest, AutoCompletionTakesTypedCharactersOfTheAnsiCodePage) {
    combo.reset();
    combo = std::make_unique<MivoCboEx>(host, 10, 10, 300, 22);
    for (const char* item : {"Feststelltaste", "€uro", "Ωmega"})
        combo->AddItem(item);
    combo->SetDoAutoComplete(true);
    std::string completed;
    combo->OnAutoCompleteSelection = [&](const std::string& text, std::int32_t index) {
        completed = text + " " + std::to_string(index);
    };
    for (const auto& [typed, expected] : {std::pair(L'€', "€uro 1"), std::pair(L'Ω', "Ωmega 2")}) {
        if (typed == L'Ω' && ::GetACP() != 1253)
            continue;
        completed.clear();
        combo->SetText("");
        ::SetFocus(combo->hWndEdit());
        ::PostMessageW(combo->hWndEdit(), WM_CHAR, typed, 1);
        Pump(host);
        EXPECT_EQ(completed, expected) << ::GetACP();
        EXPECT_EQ(combo->Text(), std::string(expected).substr(0, std::strlen(expected) - 2));
    }
}

// The list's background follows the system colours, also when they change after its creation.
TEST_F(ComboTest, BackgroundFollowsTheSystemColours) {
    const int element = COLOR_WINDOW;
    const COLORREF before = ::GetSysColor(element);
    const COLORREF changed = RGB(12, 34, 56);
    ASSERT_TRUE(::SetSysColors(1, &element, &changed));
    WindowDc dc(combo->hWndComboEx());
    const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
        combo->hWndComboEx(), WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc.get()), 0));
    LOGBRUSH lb{};
    ::GetObjectW(brush, sizeof lb, &lb);
    ::SetSysColors(1, &element, &before);
    EXPECT_EQ(lb.lbColor, changed);
}

// The stored settings come back as they were written; a drop-down width beyond the 16 bits it
// is stored in is clamped, not wrapped.
TEST_F(ComboTest, PropertyBagRoundTripAndClampedWidth) {
    namespace K = MivoCboExKey;
    MivoCboExProps all;
    all.Write(K::Style, 1), all.Write(K::Enabled, false), all.Write(K::ExtendedUI, false);
    all.Write(K::DropDownWidth, std::int16_t{250}), all.Write(K::AutoCompleteListItemsOnly, true);
    all.Write(K::AutoCompleteItemsAreSorted, true), all.Write(K::DoAutoComplete, true);
    all.Write(K::DrawStyle, 7), all.Write(K::Redraw, false);
    all.Write(K::Font, MivoFont{"Tahoma", 10, true, true});
    MivoCboExProps wide = DropDownList();
    wide.Write(K::DropDownWidth, std::int32_t{70000});
    MivoCboExProps clamped = DropDownList();
    clamped.Write(K::DropDownWidth, std::int16_t{32767});
    for (const auto& [in, out] : {std::pair(all, all), std::pair(DropDownList(), DropDownList()),
                                  std::pair(wide, clamped)}) {
        MivoCboEx cbo(host, 0, 0, 150, 22, in);
        MivoCboExProps written;
        cbo.WriteProperties(written);
        EXPECT_TRUE(written == out) << written.Size();
    }
}

// Sorted lists insert at the sorted place, case-insensitively unless the case-sensitive
// extended style is set; equal texts keep their order of insertion. Each item with its data.
TEST_F(ComboTest, SortedListInsertsAtTheSortedPlace) {
    const std::tuple<bool, std::string> cases[] = {{false, "A3 a5 b2 C4 d1 "},
                                                   {true, "a5 A3 b2 C4 d1 "}};
    for (const auto& [caseSensitive, expected] : cases) {
        MivoCboEx cbo(host, 0, 0, 150, 22);
        cbo.SetSorted(true);
        cbo.SetExtendedStyle(CBES_EX_CASESENSITIVE, caseSensitive);
        std::int32_t data = 0;
        for (const char* text : {"d", "b", "A", "C", "a"}) {
            cbo.AddItemAndData(text, 0, 0, ++data);
            EXPECT_EQ(cbo.ItemData(cbo.NewIndex()), data);
        }
        std::string order;
        for (std::int32_t i = 0; i < cbo.ListCount(); ++i)
            order += cbo.List(i) + std::to_string(cbo.ItemData(i)) + " ";
        EXPECT_EQ(order, expected) << caseSensitive;
    }
}

} // namespace
