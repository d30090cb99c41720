// The real tavelin.exe's window driven from outside as a person drives it.
#include <gtest/gtest.h>

#include <exdisp.h>
#include <oleacc.h>
#include <shlobj.h>

#include "e2e/MainWindowDriver.h"
#include "win32/ComPtr.h"

using namespace e2e;

namespace {

using E2e = CleanLayout;

const std::string kHelp[] = {"Tavelin 2.0.4 - Help", "Tavelin 2.0.4 - Hilfe"},
                  kRestoreQuestion[] = {"Restore original key settings?",
                                        "Ursprüngliche Einstellungen wiederherstellen?"},
                  kRestart[] = {"You have to reboot", "Sie müssen den Rechner neu starten"};
const std::string kPad(100, ' ');

// While it lives, the launch witness writes each https address opened into file, with its starter.
struct BrowserStandIn {
    static constexpr char kKey[] = "https\\shell\\open\\command";
    const std::string file = TempPath("tavelin-address.txt");
    const Value saved = ReadValue(nullptr, HKEY_CLASSES_ROOT, kKey);
    BrowserStandIn() {
        // Wine starts the desktop shell with the first window, and under load registers its
        // windows object seconds later: a click before that takes the program's fallback.
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const auto shellAnswers = [] {
            ComPtr<IShellWindows> windows;
            ComPtr<IDispatch> found;
            VARIANT desktop{}, none{};
            desktop.vt = VT_I4; // lVal 0: CSIDL_DESKTOP
            long hwnd = 0;
            return SUCCEEDED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL,
                                                IID_IShellWindows, windows.put_void())) &&
                   windows->FindWindowSW(&desktop, &none, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                                         found.put()) == S_OK;
        };
        EXPECT_TRUE(testsupport::HandleMessagesUntil(shellAnswers, 30000)) << "no desktop shell";
        ::CoUninitialize();
        const std::string command = "\"Z:" WITNESS_EXE "\" \"" + file + "\" \"%1\"";
        WriteValue(nullptr, Bytes(command.c_str(), command.c_str() + command.size() + 1),
                   HKEY_CLASSES_ROOT, kKey, REG_SZ);
    }
    ~BrowserStandIn() {
        WriteValue(nullptr, saved, HKEY_CLASSES_ROOT, kKey, REG_SZ);
        ::DeleteFileA(file.c_str());
    }
};

// While it lives, programs started meanwhile see the screen at dpi.
struct ScreenDpi {
    static constexpr char kKey[] = "Control Panel\\Desktop";
    const Value saved = ReadValue("LogPixels", HKEY_CURRENT_USER, kKey);
    explicit ScreenDpi(DWORD dpi) {
        WriteValue("LogPixels", Bytes{BYTE(dpi), BYTE(dpi >> 8), 0, 0}, HKEY_CURRENT_USER, kKey,
                   REG_DWORD);
    }
    ~ScreenDpi() { WriteValue("LogPixels", saved, HKEY_CURRENT_USER, kKey, REG_DWORD); }
};

// What a screen reader in another process reads: "name = value (description), shortcut", state.
ComPtr<IAccessible> ReaderObject(HWND hwnd) {
    ComPtr<IAccessible> object;
    ::AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), object.put_void());
    return object;
}
std::string ReaderSees(const ComPtr<IAccessible>& object) {
    if (!object)
        return "no object";
    VARIANT self{}, state{};
    self.vt = VT_I4; // lVal 0: CHILDID_SELF
    auto text = [&](auto get, const std::string& before = "", const std::string& after = "") {
        BSTR value = nullptr;
        const bool read = SUCCEEDED((object.get()->*get)(self, &value)) && value && *value;
        const std::string shown = read ? before + MText::WideToUtf8(value) + after : "";
        ::SysFreeString(value);
        return shown;
    };
    object->get_accState(self, &state);
    ComPtr<IDispatch> parent; // where a reader goes up from the control
    const bool orphan = FAILED(object->get_accParent(parent.put())) || !parent;
    return text(&IAccessible::get_accName) + text(&IAccessible::get_accValue, " = ") +
           text(&IAccessible::get_accDescription, " (", ")") +
           text(&IAccessible::get_accKeyboardShortcut, ", ") +
           (state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_UNAVAILABLE) ? ", unavailable" : "") +
           (orphan ? ", no parent" : "");
}

} // namespace

// What the window shows for the values found, then one action: the bytes, the box and the log.
TEST_F(E2e, WindowShowsTheStoredMapAndWritesTheExactBytes) {
    // Insert's "Key turned off" and OK (after emptying CapsLock's list), Restore answered Yes.
    enum Act { kClose, kInsertOff, kUnselected, kRestore, kBackupChanged };
    const Value none, empty = Bytes{}, caps = MapOf("2A003A00"), tab = MapOf("0F003A00");
    const Value calc = MapOf("21E052E0 00004600"), locked = MapOf("1D003A00 00004600");
    Bytes flagged = MapOf("1D003A00"); // flags set: not well formed
    flagged[4] = 1;
    const std::string to = "-Taste geändert zu: ",
                      capsShown = "Left shift key|Default (Insert key)|Default (ScrollLock key)";
    struct Case {
        const char* name;
        bool german = false, firstStart = false;
        Value map, backup; // before
        std::string shown; // each list's selected item, '|' between
        Act act = kClose;
        bool refused = false; // the layout key refuses writes
        std::string box;      // the message box's text begins so, if one shows
        Value mapAfter, backupAfter;
        std::string logged; // the event-log entries, each ended by '|'
    };
    // clang-format off
    const Case cases[] = {
        {.name = "first start", .firstStart = true,
         .shown = "Default (CapsLock key)|Default (Insert key)|Default (ScrollLock key)"},
        {.name = "backup changed", .german = true, .map = calc, .backup = empty,
         .shown = "Standard (normale CapsLock-Funktion)|Taschenrechner starten|-",
         .act = kBackupChanged, .box = "Die Tastaturbelegung wurde seit dem Start von Tavelin",
         .mapAfter = calc, .backupAfter = tab},
        {.name = "locked entries", .german = true, .map = locked,
         .shown = "-|Standard (normale Einfügen-Funktion)|-", .act = kInsertOff, .box = kRestart[1],
         .mapAfter = MapOf("1D003A00 00004600 000052E0"), .backupAfter = locked, .logged =
             "Belegung der CapsLock" + to + "|Belegung der Einfügen" + to + "Taste deaktiviert" +
             kPad + "|Belegung der Rollen" + to + "|"},
        {.name = "list without selection", .map = caps, .shown = capsShown, .act = kUnselected,
         .box = kRestart[0], .mapAfter = MapOf("2A003A00 000052E0"), .backupAfter = caps, .logged =
             "CapsLock key mapped to: |Insert key mapped to: Key turned off" + kPad +
             "|ScrollLock key mapped to: Default (ScrollLock key)" + kPad + "|"},
        {.name = "restore", .map = caps, .backup = flagged, .shown = capsShown, .act = kRestore,
         .box = kRestart[0], .mapAfter = flagged, .logged =
             "Original key settings restored: the map from before Tavelin's first change is "
             "written back, the backup deleted.|"},
        {.name = "save refused", .german = true, .map = caps, .shown =
             "Linke Umschalt-Taste|Standard (normale Einfügen-Funktion)|Standard (normale "
             "Rollen-Funktion)",
         .act = kInsertOff, .refused = true, .box =
             "Fehler 26001 (tavelin.cRegistry)\r\n\r\nEin Wert der Registry konnte nicht",
         .mapAfter = caps},
        {.name = "restore refused", .map = caps, .backup = flagged, .shown = capsShown,
         .act = kRestore, .refused = true, .box = "Error 26001 (tavelin.cRegistry)",
         .mapAfter = caps, .backupAfter = flagged},
    };
    // clang-format on
    // Each item's picture, the same when selected: its function's own.
    const std::vector<int> pictures[] = {{0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
                                         {1, 3, 4, 9, 10, 11, 12, 13, 14},
                                         {2, 4, 9, 10, 11, 12, 13, 14}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteValue(kMap, c.map);
        WriteValue(kBackup, c.backup);
        WriteValue("ShowStartupInfo", c.firstStart ? none : kHelpSeen, HKEY_CURRENT_USER,
                   kSettingsKey, REG_SZ);
        // Wine stores no event-log entries; with this it traces each one's type, ID and text.
        Tavelin app({{"LC_ALL", kLocale[c.german]}, {"WINEDEBUG", "-all,fixme+advapi,+eventlog"}});
        ASSERT_TRUE(app.Main());
        std::string seen;
        for (int row = 0; row < 3; ++row) {
            std::vector<int> shownPictures;
            const std::vector<std::string> items = app.Items(row, &shownPictures);
            EXPECT_EQ(shownPictures, pictures[row]) << row;
            const int at = app.Selection(row);
            std::string item = at < 0 ? "-" : items.at(size_t(at));
            if (item.ends_with(kPad))
                item.resize(item.size() - kPad.size());
            const bool lock = item == "-";
            const bool asLocked = ::IsWindowEnabled(app.ComboEx(row)) != lock &&
                                  app.Visible(IDC_LBDISABLED_FIRST + row) == lock &&
                                  app.Visible(IDC_IMGDISABLED_FIRST + row) == lock;
            seen += (row ? "|" : "") + (asLocked ? item : "?" + item);
        }
        EXPECT_EQ(seen, c.shown);
        EXPECT_EQ(::IsWindowEnabled(app.Control(IDC_CMDRESTORE)), c.backup.has_value());
        if (c.firstStart) {
            EXPECT_TRUE(app.FindWindowTitled(kHelp[0], 5000));
            EXPECT_EQ(ReadValue("ShowStartupInfo", HKEY_CURRENT_USER, kSettingsKey), kHelpSeen);
        }
        std::optional<DeniedLayoutKey> deny; // until the error box is answered
        if (c.refused)
            deny.emplace(KEY_SET_VALUE);
        if (c.act == kUnselected)
            ::SendMessageW(app.ComboEx(0), CB_SETCURSEL, WPARAM(-1), 0);
        if (c.act == kInsertOff || c.act == kUnselected) {
            EXPECT_TRUE(app.Pick(1, c.german ? "Taste deaktiviert" : "Key turned off"));
        }
        if (c.act == kBackupChanged)
            WriteValue(kBackup, tab);
        if (c.act == kRestore || c.act == kBackupChanged) {
            MoveMouse(CentreOf(app.Control(IDC_CMDRESTORE)), true);
            EXPECT_EQ(app.Answer(IDYES), kRestoreQuestion[c.german]);
        } else if (c.act != kClose)
            MoveMouse(CentreOf(app.Control(IDC_CMDOK)), true);
        // Enter declines the restart; a refusal keeps the window, which the error box's OK ends.
        const bool written = c.box == kRestart[c.german];
        const std::string box = c.box.empty() ? "" : app.Answer(written ? Tavelin::kEnter : IDOK);
        EXPECT_TRUE(box.starts_with(c.box)) << box;
        if (written) {
            EXPECT_EQ(app.lastDefault, IDNO);
        } else if (!c.refused) {
            EXPECT_TRUE(::IsWindowVisible(app.Main()));
            app.CloseWindow();
        }
        EXPECT_EQ(app.Wait(5000), c.refused ? 1u : 0u);
        EXPECT_EQ(ReadValue(kMap), c.mapAfter);
        EXPECT_EQ(ReadValue(kBackup), c.backupAfter);
        EXPECT_EQ(LoggedEntries(app.Output()), c.logged);
    }
}

// The real mouse: tool tip, list items, pictures (help's on the decoration) with the hand, Restore.
TEST_F(E2e, RealMouseReachesEveryPictureAndButton) {
    WriteValue(kBackup, Bytes{}); // Restore clickable
    Tavelin app({});
    ASSERT_TRUE(app.Main());
    EXPECT_FALSE(app.FindWindowTitled(kHelp[0], 1000)) << "the help at a later start";
    HCURSOR arrow = nullptr; // once the window has set one: a slow machine has none first
    EXPECT_TRUE(testsupport::HandleMessagesUntil(
        [&] { return (arrow = app.CursorOver(IDC_LBKEY_FIRST)) != nullptr; }, 5000));
    MoveMouse(CentreOf(app.Main())); // the tool tip once the mouse arrives from elsewhere
    ::Sleep(Scaled(100));
    MoveMouse(CentreOf(app.Control(IDC_IMGHELP)));
    HWND tip = testsupport::FindTopLevel(app.Pid(), TOOLTIPS_CLASSW, nullptr, 1000);
    EXPECT_EQ(tip ? testsupport::TextOf(tip) : "", "Help");
    const char* picks[] = {"Left shift key", "Key turned off", "Application key"};
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(app.Pick(row, picks[row])) << row;
    EXPECT_TRUE(::IsWindowEnabled(app.Control(IDC_CMDOK)));
    const std::pair<int, bool> controls[] = {
        {IDC_IMGPAYPAL_FIRST + 1, true}, {IDC_IMGHELP, true}, {IDC_CMDRESTORE, false}};
    for (const auto& [id, hand] : controls) {
        SCOPED_TRACE(id);
        EXPECT_EQ(::GetDlgCtrlID(::WindowFromPoint(CentreOf(app.Control(id)))), id);
        const HCURSOR cursor = app.CursorOver(id);
        EXPECT_EQ(cursor != arrow, hand) << "cursor " << cursor << ", arrow " << arrow;
    }
}

// What Wine cannot show: the manifest demands elevation and the version 6 common controls.
TEST(TavelinExe, Manifest) {
    HMODULE exe = ::LoadLibraryExA("Z:" TAVELIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HRSRC found = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
    const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(exe, found))),
                               ::SizeofResource(exe, found));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), manifest.npos);
    EXPECT_NE(manifest.find("Common-Controls\" version=\"6.0.0.0\""), manifest.npos);
}

// At 96 and 144 DPI, CapsLock locked, a save not yet in effect. The restart line labels nothing (is
// no control's predecessor in z-order, where a reader looks) and is gone after a restart.
TEST_F(E2e, EveryControlScalesAndAReaderReadsIt) {
    struct Case {
        DWORD dpi;
        bool german, pending = true;
    };
    // clang-format off
    const Case cases[] = {{.dpi = 96, .german = false}, {.dpi = 96, .german = true},
                          {.dpi = 144, .german = false}, {.dpi = 144, .german = true},
                          {.dpi = 96, .german = false, .pending = false}};
    // In English; German texts and access keys take the same way.
    const std::string read[] = {
        "Select CapsLock key function (Option not available due to driver-specific settings), "
        "Alt+A, unavailable",
        "Select Insert key function = Default (Insert key), Alt+I",
        "Select ScrollLock key function = Mute, Alt+S", "Help", "Donate",
        "Restart pending: the new functions take effect after it.",
        "Select Insert key function = Key turned off, Alt+I"};
    // clang-format on
    std::map<std::pair<bool, int>, RECT> at96; // by language and control
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + (c.german ? " DE" : " EN"));
        const bool first = c.dpi == 96 && c.pending; // the measures 144 DPI is held to
        const bool reader = first && !c.german;
        WriteValue(kMap, MapOf("1D003A00")); // CapsLock sends left Ctrl: not changed by Tavelin
        NewStart();
        if (c.pending) {
            EXPECT_EQ(RunTavelin("/set SCROLL=MUTE").code, 0u);
        }
        const ScreenDpi dpi(c.dpi);
        Tavelin app(testsupport::Env{{"LC_ALL", kLocale[c.german]}});
        ASSERT_TRUE(app.Main());
        HWND line = app.Control(IDC_LBRESTART);
        EXPECT_EQ(app.Visible(IDC_LBRESTART), c.pending);
        EXPECT_FALSE(::GetWindowLongW(line, GWL_STYLE) & WS_TABSTOP);
        EXPECT_EQ(::GetWindow(line, GW_HWNDNEXT), nullptr) << "a control follows it";
        for (int row = 0; reader && row < 3; ++row)
            for (HWND window :
                 {app.Control(IDC_CBOKEY_FIRST + row), app.ComboEx(row), app.Inner(row)})
                EXPECT_EQ(ReaderSees(ReaderObject(window)), read[row]) << row;
        const int others[] = {IDC_IMGHELP, IDC_IMGPAYPAL_FIRST + 1, IDC_LBRESTART};
        for (int i = 0; reader && i < 3; ++i)
            EXPECT_EQ(ReaderSees(ReaderObject(app.Control(others[i]))), read[3 + i]);
        const auto font = [&](int weight) {
            return UniqueFont(::CreateFontW(-::MulDiv(825, int(c.dpi), 7200), 0, 0, 0, weight,
                                            FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                                            DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
        };
        const UniqueFont normal = font(FW_NORMAL), bold = font(FW_BOLD);
        const WindowDc dc(nullptr);
        for (HWND other = ::GetWindow(app.Main(), GW_CHILD); other;
             other = ::GetWindow(other, GW_HWNDNEXT)) {
            const int id = ::GetDlgCtrlID(other);
            SCOPED_TRACE("control " + std::to_string(id));
            RECT r{};
            ::GetWindowRect(other, &r);
            ::MapWindowPoints(nullptr, app.Main(), reinterpret_cast<POINT*>(&r), 2);
            if (first)
                at96[{c.german, id}] = r;
            else if (c.dpi == 144) {
                // A list's height is its field's, which the font sets.
                const bool list = id >= IDC_CBOKEY_FIRST && id < IDC_CBOKEY_FIRST + 3;
                const RECT small = at96[{c.german, id}];
                EXPECT_NEAR(r.left, small.left * 3 / 2, 2);
                EXPECT_NEAR(r.top, small.top * 3 / 2, 2);
                EXPECT_NEAR(r.right, small.right * 3 / 2, 2);
                EXPECT_NEAR(list ? small.bottom * 3 / 2 : r.bottom, small.bottom * 3 / 2, 2);
            }
            wchar_t cls[16] = {};
            ::GetClassNameW(other, cls, 16);
            const LONG style = ::GetWindowLongW(other, GWL_STYLE);
            const bool button = !::lstrcmpiW(cls, L"Button");
            const std::wstring text = MText::Utf8ToWide(testsupport::TextOf(other));
            if (text.empty() || (button && (style & BS_TYPEMASK) == BS_OWNERDRAW) ||
                (!button && ::lstrcmpiW(cls, L"Static")))
                continue;
            const bool heading = id >= IDC_LBKEY_FIRST && id < IDC_LBKEY_FIRST + 3;
            const SelectedObject selected(dc.get(), (heading ? bold : normal).get());
            RECT needed = {0, 0, r.right - r.left, 0};
            ::DrawTextW(dc.get(), text.c_str(), -1, &needed,
                        DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK) |
                            (!button && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
            EXPECT_LE(needed.right, r.right - r.left) << MText::WideToUtf8(text);
            EXPECT_LE(needed.bottom, r.bottom - r.top) << MText::WideToUtf8(text);
        }
        if (reader) {
            const ComPtr<IAccessible> kept = ReaderObject(app.Inner(1));
            EXPECT_TRUE(app.Pick(1, "Key turned off"));
            EXPECT_EQ(ReaderSees(kept), read[6]);
        }
        app.CloseWindow();
        EXPECT_EQ(app.Wait(5000), 0u);
    }
    ::CoUninitialize();
}

// Real keys in each language, CapsLock locked, Restore offered (OK is not before a change): a
// locked list's access key leaves the focus where it is; Enter declines Restore's question.
TEST_F(E2e, KeysReachEveryControl) {
    WriteValue(kMap, MapOf("1D003A00"));
    WriteValue(kBackup, Bytes{});
    BrowserStandIn browser;
    enum Effect { kFocus, kQuestion, kHelpShown, kDonation, kEnded };
    const int list = IDC_CBOKEY_FIRST, help = IDC_IMGHELP, restore = IDC_CMDRESTORE,
              cancel = IDC_CMDCANCEL, donate = IDC_IMGPAYPAL_FIRST + 1, spenden = donate - 1;
    // The keys, the control that has the focus afterwards (back in the window), what else shows.
    // clang-format off
    const std::vector<std::tuple<const char*, int, Effect>> steps[] = {
        {{"", list + 1, kFocus},        {"Tab", list + 2, kFocus},    {"Tab", restore, kFocus},
         {"Tab", cancel, kFocus},       {"Tab", help, kFocus},        {"Enter", help, kHelpShown},
         {"Tab", donate, kFocus},       {"Space", donate, kDonation}, {"F1", donate, kHelpShown},
         {"Tab", list + 1, kFocus},     {"Alt+S", list + 2, kFocus},  {"Alt+A", list + 2, kFocus},
         {"Alt+I", list + 1, kFocus},   {"Alt+R", restore, kQuestion}, {"Alt+C", 0, kEnded}},
        {{"", list + 1, kFocus}, {"Alt+R", list + 2, kFocus}, {"Alt+C", list + 2, kFocus},
         {"Alt+E", list + 1, kFocus}, {"Shift+Tab", spenden, kFocus},
         {"Enter", spenden, kDonation}, {"Alt+S", restore, kQuestion}, {"Escape", 0, kEnded}}};
    // clang-format on
    for (const bool german : {false, true}) {
        SCOPED_TRACE(german ? "German" : "English");
        Tavelin app(testsupport::Env{{"LC_ALL", kLocale[german]}});
        ASSERT_TRUE(app.Main());
        for (const auto& [keys, focus, effect] : steps[german]) {
            SCOPED_TRACE(keys);
            ASSERT_TRUE(app.Activate());
            ::DeleteFileA(browser.file.c_str());
            PressKeys(keys);
            if (effect == kQuestion) { // Enter leaves the map as it is
                EXPECT_EQ(app.Answer(Tavelin::kEnter), kRestoreQuestion[german]);
            } else if (effect == kHelpShown) {
                HWND shown = app.FindWindowTitled(kHelp[german], 5000);
                EXPECT_TRUE(shown);
                ::PostMessageW(shown, WM_CLOSE, 0, 0);
                testsupport::HandleMessagesUntil([&] { return !::IsWindow(shown); }, 5000);
            } else if (effect == kDonation) { // from the desktop shell, which runs unelevated
                std::string launch;
                testsupport::HandleMessagesUntil(
                    [&] { return !(launch = FileBytes(browser.file).value_or("")).empty(); },
                    10000);
                for (const std::string part : {"explorer.exe 1 https://www.paypal.com/cgi-bin/",
                                               "%40tavelin.example.org&item_name=Tavelin&",
                                               "%20%28optional%29", german ? "&lc=DE&" : "&lc=EN&"})
                    EXPECT_NE(launch.find(part), launch.npos) << launch;
            } else if (effect == kEnded) {
                EXPECT_EQ(app.Wait(5000), 0u);
                continue;
            }
            ASSERT_TRUE(app.Activate());
            testsupport::HandleMessagesUntil([&] { return app.Focused() == focus; }, 2000);
            EXPECT_EQ(app.Focused(), focus);
        }
        EXPECT_EQ(ReadValue(kMap), MapOf("1D003A00"));
    }
}
