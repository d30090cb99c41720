// The icon drop-down list under Wine's real ComboBoxEx32, driven by real key input.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "win32/Fatal.h"
#include "ui/controls/MivoCboEx.h"

namespace {

std::vector<AppError> g_errors;

int g_okCommands = 0; // WM_COMMAND IDOK that reached the host window

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
        g_errors.clear(), g_okCommands = 0;
        previous = SetFatalHandler([](const AppError& e) { g_errors.push_back(e); });
        const WNDCLASSW wc{0,       &HostProc, 0,       0,       ::GetModuleHandleW(nullptr),
                           nullptr, nullptr,   nullptr, nullptr, L"ComboTestHost"};
        ::RegisterClassW(&wc);
        host = ::CreateWindowExW(0, L"ComboTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                 0, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
        button = ::CreateWindowExW(
            0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 200, 80,
            24, host, reinterpret_cast<HMENU>(IDOK), wc.hInstance, nullptr);
        combo = std::make_unique<MivoCboEx>(host, 10, 10, 300, 22, MainWindowListProps());
        combo->AddItemAndData("Feststelltaste", 0, 0, 10);
        combo->AddItemAndData("Einfügen", 1, 1, 20);
        combo->AddItemAndData("Rollen", 2, 2, 30);
        combo->OnChange = [this] { events.push_back("Change"); };
        combo->OnClick = [this] { events.push_back("Click"); };
    }
    void TearDown() override {
        combo.reset();
        ::DestroyWindow(host);
        SetFatalHandler(previous);
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

    FatalHandler previous = nullptr;
    HWND host = nullptr, button = nullptr;
    std::unique_ptr<MivoCboEx> combo;
    std::vector<std::string> events;
    using Events = std::vector<std::string>;
};

// The main window's lists use the extended keyboard interface: Down opens the closed list,
// the next Down picks, Enter closes. Without it Down picks at once, here typed through the
// input queue with the window in front.
TEST_F(ComboTest, UserSelectionRaisesChangeThenClickOnce) {
    combo->OnDropDown = [this] { events.push_back("DropDown"); };
    combo->OnCloseUp = [this] { events.push_back("CloseUp"); };
    combo->SetListIndex(0);
    const std::tuple<WPARAM, Events, std::int32_t> steps[] = {
        {VK_DOWN, {"DropDown"}, 0}, {VK_DOWN, {"Change", "Click"}, 1}, {VK_RETURN, {"CloseUp"}, 1}};
    for (const auto& [key, expected, index] : steps) {
        events.clear();
        ::SendMessageW(combo->hWndCombo(), WM_KEYDOWN, key, 0);
        EXPECT_EQ(events, expected) << key;
        EXPECT_EQ(combo->ListIndex(), index) << key;
    }

    combo->SetExtendedUI(false);
    events.clear();
    ::SetForegroundWindow(host);
    ::SetFocus(combo->hWndCombo());
    INPUT keys[2] = {{INPUT_KEYBOARD, {}}, {INPUT_KEYBOARD, {}}};
    keys[0].ki.wVk = keys[1].ki.wVk = VK_DOWN;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(::SendInput(2, keys, sizeof(INPUT)), 2u);
    Pump(host, 200);
    EXPECT_EQ(events, (Events{"Change", "Click"}));
    EXPECT_EQ(combo->ListIndex(), 2);

    // A failing handler is reported, not thrown through Windows.
    combo->OnChange = [] { throw AppError(91, "test", "handler failed"); };
    ::SendMessageW(combo->hWndCombo(), WM_KEYDOWN, VK_UP, 0);
    ASSERT_EQ(g_errors.size(), 1u);
    EXPECT_EQ(g_errors[0].Number(), 91);
}

// Every write raises Click, also of the same value or -1; a rejected one raises nothing.
TEST_F(ComboTest, ListIndexItemDataAndTextAsTheMainWindowUsesThem) {
    EXPECT_EQ(std::pair(combo->ItemData(-1), combo->Text()), std::pair(0, std::string()));
    for (std::int32_t index : {2, 2, -1, -1, 1}) {
        events.clear();
        combo->SetListIndex(index);
        EXPECT_EQ(events, Events{"Click"}) << index;
        EXPECT_EQ(combo->ListIndex(), index);
    }
    EXPECT_EQ(std::pair(combo->ItemData(1), combo->Text()), std::pair(20, std::string("Einfügen")));

    const std::string own = ExeName() + ".MivoComboEx";
    events.clear();
    ExpectError(381, own, [&] { combo->SetListIndex(5); });
    ExpectError(381, own, [&] { combo->SetListIndex(-2); });
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
}

// While the list has the focus, dialog navigation leaves these keys to it; on an ordinary
// control Enter would press the default button.
TEST_F(ComboTest, DialogNavigationLeavesTheListItsKeys) {
    std::vector<std::int32_t> seen;
    combo->OnKeyDown = [&](std::int32_t& key, std::int32_t) { seen.push_back(key); };
    for (WPARAM key :
         {VK_RETURN, VK_PRIOR, VK_NEXT, VK_HOME, VK_END, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN}) {
        seen.clear();
        ::SetFocus(combo->hWndCombo());
        ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, key, 1);
        Pump(host);
        EXPECT_EQ(seen, std::vector<std::int32_t>{static_cast<std::int32_t>(key)}) << key;
        EXPECT_EQ(::GetFocus(), combo->hWndCombo()) << key;
    }
    EXPECT_EQ(g_okCommands, 0);

    // Tab is not the list's: it moves on to the button.
    ::PostMessageW(combo->hWndCombo(), WM_KEYDOWN, VK_TAB, 1);
    Pump(host);
    EXPECT_EQ(::GetFocus(), button);
    ::PostMessageW(button, WM_KEYDOWN, VK_RETURN, 1);
    Pump(host);
    EXPECT_EQ(g_okCommands, 1);
}

// Windows destroys the control's windows with their parent: the hooks must go with them.
TEST_F(ComboTest, ParentDestroyedFirstLeavesNothingBehind) {
    ::DestroyWindow(std::exchange(host, nullptr));
    EXPECT_EQ(std::pair(combo->hwnd(), combo->ListCount()), std::pair(HWND{}, 0));
    combo.reset();
    EXPECT_TRUE(g_errors.empty());
}

} // namespace
