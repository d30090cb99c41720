// The whole program under Wine: the real tavelin.exe driven from outside as a person drives it,
// the registry read back afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "e2e/MainWindowDriver.h"
#include "messages.h"
#include "resources/pictures.h"
#include "ui/main/FMainIds.h"
#include "win32/Text.h"

using namespace e2e;

namespace {

const std::string kPad(100, ' '), kHelp = "Tavelin 2.0.4 - Help", kLocked = "<locked>";
const std::string kRestart = "You have to reboot the computer for the settings to take effect."
                             "\r\n\r\nDo you want to reboot now?";
const testsupport::Env kGerman = {{"LC_ALL", "de_DE.UTF-8"}},
                       kEnglish = {{"LC_ALL", "en_US.UTF-8"}};

// While it lives, the shell hands https addresses to the launch witness instead of the browser.
// Wine reads address handlers from HKEY_CLASSES_ROOT only; the handler found there comes back.
struct BrowserStandIn {
    static constexpr char kKey[] = "https\\shell\\open\\command";
    const std::string file = TempPath("tavelin-address.txt");
    const Value saved = ReadValue(HKEY_CLASSES_ROOT, kKey, nullptr);
    BrowserStandIn() {
        ::DeleteFileA(file.c_str());
        const std::string command = "\"Z:" WITNESS_EXE "\" \"" + file + "\" \"%1\"";
        WriteValue(HKEY_CLASSES_ROOT, kKey, nullptr,
                   Bytes(command.c_str(), command.c_str() + command.size() + 1), REG_SZ);
    }
    ~BrowserStandIn() {
        WriteValue(HKEY_CLASSES_ROOT, kKey, nullptr, saved, REG_SZ);
        ::DeleteFileA(file.c_str());
    }
    // Who started the browser with which show state and address, or "" when none came within
    // ten seconds.
    std::string Launch() const {
        std::string text;
        WaitFor(10000, [&] { return !(text = FileBytes(file).value_or("")).empty(); });
        return text;
    }
};

using E2e = CleanLayout;

// Closes with the close box: no question, the program ends.
void CloseWithoutQuestion(Tavelin& app) {
    app.CloseWindow();
    EXPECT_EQ(app.Wait(5000), 0u);
}

} // namespace

// What the window shows for the values found, in the system locale's language: each list's
// selected item, or kLocked for a list disabled with its notice. Which map locks which key is the
// key-rows model's (KeyRowsTest); these cases prove that the window shows its decisions.
TEST_F(E2e, EachListShowsWhatTheStoredMapGivesItsKey) {
    struct Case {
        testsupport::Env locale;
        Value map, backup;
        std::string shown[3];
    };
    const std::string caps = "Default (CapsLock key)", ins = "Default (Insert key)";
    const Case cases[] = {
        {kEnglish, std::nullopt, std::nullopt, {caps, ins, "Default (ScrollLock key)"}},
        {kGerman,
         std::nullopt,
         Bytes{},
         {"Standard (normale CapsLock-Funktion)", "Standard (normale Einfügen-Funktion)",
          "Standard (normale Rollen-Funktion)"}},
        {kEnglish, MapOf({"21E052E0", "00004600"}), Bytes{}, {caps, "Calculator", kLocked}},
        // The count field without its entries: not well formed.
        {kEnglish,
         FromHex("0000000000000000 01000000 2A003A00 00000000"),
         std::nullopt,
         {kLocked, kLocked, kLocked}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown[0] + " " + c.shown[1] + " " + c.shown[2]);
        WriteLayoutValue(kMap, c.map);
        WriteLayoutValue(kBackup, c.backup);
        Tavelin app(c.locale);
        ASSERT_TRUE(app.Main());
        const bool german = c.locale == kGerman;
        const size_t counts[] = {13, 9, 8};
        for (int row = 0; row < 3; ++row) {
            const bool locked = c.shown[row] == kLocked;
            EXPECT_EQ(app.Items(row).size(), counts[row]) << row;
            EXPECT_EQ(app.ListEnabled(row), !locked) << row;
            EXPECT_EQ(app.Visible(IDC_LBDISABLED_FIRST + row), locked) << row;
            EXPECT_EQ(app.Visible(IDC_IMGDISABLED_FIRST + row), locked) << row;
            EXPECT_EQ(app.SelectedText(row), locked ? "" : c.shown[row] + kPad) << row;
        }
        EXPECT_EQ(app.Text(IDC_LBKEY_FIRST + 1),
                  german ? "Funktion für Einfügen-Taste festlegen" : "Select Insert key function");
        EXPECT_EQ(app.Text(IDC_CMDCANCEL), german ? "&Abbrechen" : "&Cancel");
        EXPECT_FALSE(app.Enabled(IDC_CMDOK));
        EXPECT_EQ(app.Enabled(IDC_CMDRESTORE), c.backup.has_value());
        // The donation picture in the window's language.
        EXPECT_EQ(app.Visible(IDC_IMGPAYPAL_FIRST), german);
        EXPECT_EQ(app.Visible(IDC_IMGPAYPAL_FIRST + 1), !german);
        CloseWithoutQuestion(app);
    }
}

// OK writes what the lists show and keeps locked entries as found; the first change backs up the
// map found (none: a zero-byte backup; later saves keep it: ScancodeMapTest); Restore answered Yes
// puts the backup back byte for byte (here one with flags another tool set) and removes it.
TEST_F(E2e, OkAndRestoreWriteTheExactBytes) {
    const Bytes flagged = FromHex("0000000001000000 02000000 1D003A00 00000000");
    const Bytes locked = MapOf({"1D003A00", "00004600"});
    const auto pickOff = [](Tavelin& app) {
        EXPECT_TRUE(app.Pick(0, "Key turned off"));
        app.Click(IDC_CMDOK);
    };
    const auto insertOff = [](Tavelin& app) {
        app.PressDown(1); // "Key turned off"
        app.Click(IDC_CMDOK);
    };
    // A list that has lost its selection (set from outside: the user cannot clear it) keeps its
    // key's entry; it is never saved as the first catalogue row.
    const auto unselected = [&](Tavelin& app) {
        ::SendMessageW(::FindWindowExW(::GetDlgItem(app.Main(), IDC_CBOKEY_FIRST), nullptr,
                                       L"ComboBoxEx32", nullptr),
                       CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        EXPECT_EQ(app.Selection(0), -1);
        insertOff(app);
    };
    const auto restore = [](Tavelin& app) {
        app.Click(IDC_CMDRESTORE);
        EXPECT_EQ(app.Answer(IDYES), "Restore original key settings?");
    };
    const std::tuple<const char*, Value, Value, std::function<void(Tavelin&)>, Value, Value>
        cases[] = {
            {"first save", std::nullopt, std::nullopt, pickOff, MapOf({"00003A00"}), Bytes{}},
            {"locked entries", locked, std::nullopt, insertOff,
             MapOf({"1D003A00", "00004600", "000052E0"}), locked},
            {"list without selection", MapOf({"2A003A00"}), std::nullopt, unselected,
             MapOf({"2A003A00", "000052E0"}), MapOf({"2A003A00"})},
            {"restore", MapOf({"2A003A00"}), flagged, restore, flagged, std::nullopt},
        };
    for (const auto& [name, map, backup, act, mapAfter, backupAfter] : cases) {
        SCOPED_TRACE(name);
        WriteLayoutValue(kMap, map);
        WriteLayoutValue(kBackup, backup);
        Tavelin app;
        ASSERT_TRUE(app.Main());
        act(app);
        EXPECT_EQ(app.Answer(IDNO), kRestart); // declined: the program ends by itself
        EXPECT_EQ(app.Wait(5000), 0u);
        EXPECT_EQ(ReadLayoutValue(kMap), mapAfter);
        EXPECT_EQ(ReadLayoutValue(kBackup), backupAfter);
    }
    // The program made itself its log source's message file (the table is checked below).
    const Value file = ReadValue(
        HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin",
        "EventMessageFile");
    EXPECT_TRUE(file &&
                std::string(file->begin(), std::ranges::find(*file, 0)).ends_with("\\tavelin.exe"));
}

// The first start opens the help up and left of the window, and only the first; later F1 opens
// it. The close box ends the program and its help window without a question.
TEST_F(E2e, HelpOpensAtTheFirstStartAndWithF1) {
    for (bool first : {true, false}) {
        SCOPED_TRACE(first ? "first start" : "later start");
        WriteValue(HKEY_CURRENT_USER, kSettingsKey, "ShowStartupInfo", first ? Value() : kHelpSeen,
                   REG_SZ);
        Tavelin app;
        HWND main = app.Main();
        ASSERT_TRUE(main);
        if (!first) {
            EXPECT_FALSE(app.FindWindowTitled(kHelp, 1000));
            app.PressF1();
        }
        HWND help = app.FindWindowTitled(kHelp, 5000);
        ASSERT_TRUE(help);
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kSettingsKey, "ShowStartupInfo"), kHelpSeen);
        RECT m{}, h{};
        ::GetWindowRect(main, &m);
        ::GetWindowRect(help, &h);
        const int offset = ::MulDiv(1600, ::GetDeviceCaps(::GetDC(nullptr), LOGPIXELSX), 1440);
        EXPECT_TRUE(!first || (h.left == m.left - offset && h.top == m.top - offset));
        CloseWithoutQuestion(app);
        EXPECT_FALSE(::IsWindow(help));
    }
}

// What a person clicks with the real mouse, in this order in one window, and what must follow.
// Before each click the control must be the one under the mouse, and the pictures show the hand.
TEST_F(E2e, RealClicksReachEveryPictureListAndButton) {
    WriteLayoutValue(kBackup, Bytes{}); // Restore clickable
    BrowserStandIn browser;
    Tavelin app;
    ASSERT_TRUE(app.Main());
    const HCURSOR arrow = app.CursorOver(IDC_LBKEY_FIRST);
    EXPECT_EQ(app.ToolTipOver(IDC_IMGHELP), "Help");

    auto restoreAnswered = [&](int button) {
        return [&app, button] {
            EXPECT_EQ(app.Answer(button), "Restore original key settings?");
            EXPECT_TRUE(::IsWindow(app.Main())) << "the window stays open";
            EXPECT_EQ(ReadLayoutValue(kMap), std::nullopt);
            EXPECT_EQ(ReadLayoutValue(kBackup), Bytes{});
        };
    };
    const std::tuple<const char*, int, bool, std::function<void()>> clicks[] = {
        {"donation picture", IDC_IMGPAYPAL_FIRST + 1, true,
         [&] {
             // From the desktop shell, which runs unelevated.
             EXPECT_EQ(
                 browser.Launch(),
                 "explorer.exe 1 https://www.paypal.com/cgi-bin/webscr?cmd=_donations&business="
                 "donations%40tavelin.example.org&item_name=Tavelin&item_number=Tavelin"
                 "&page_style=PayPal&no_shipping=1&cn=Mitteilung%20%28optional%29&tax=0"
                 "&currency_code=EUR&lc=EN&bn=PP%2dDonationsBF&charset=UTF%2d8");
         }},
        {"Restore, answered No", IDC_CMDRESTORE, false, restoreAnswered(IDNO)},
        {"Restore, answered Cancel", IDC_CMDRESTORE, false, restoreAnswered(IDCANCEL)},
        {"help picture", IDC_IMGHELP, true,
         [&] { EXPECT_TRUE(app.FindWindowTitled(kHelp, 5000)); }},
        {"Cancel", IDC_CMDCANCEL, false, [&] { EXPECT_EQ(app.Wait(5000), 0u); }},
    };
    for (const auto& [what, id, hand, effect] : clicks) {
        SCOPED_TRACE(what);
        if (id == IDC_IMGHELP) {
            // Each list opened and an item clicked (before the help window covers them); Cancel
            // then leaves the map as it was.
            const char* picks[] = {"Left shift key", "Key turned off", "Application key"};
            for (int row = 0; row < 3; ++row) {
                EXPECT_TRUE(app.Pick(row, picks[row])) << row;
                EXPECT_EQ(app.SelectedText(row), picks[row] + kPad);
            }
            EXPECT_TRUE(app.Enabled(IDC_CMDOK));
        }
        EXPECT_EQ(app.ControlAt(id), id);
        // Once the stand-in browser has had the foreground, Wine reports no cursor for the
        // buttons (measured: none for seconds); the pictures' hand is always reported.
        const HCURSOR cursor = app.CursorOver(id);
        if (cursor || hand) {
            EXPECT_EQ(cursor != arrow, hand);
        }
        app.Click(id);
        effect();
    }
    EXPECT_EQ(ReadLayoutValue(kMap), std::nullopt);
}

// Another program writes the map or the backup while the window is open (the command line too:
// it takes no part in the single-instance rule): OK and Restore write nothing, a box says why,
// the window stays with its lists, and no restart is offered.
TEST_F(E2e, MapChangedBehindTheOpenWindowIsNotOverwritten) {
    const std::string caps = "2A003A00", tab = "0F003A00";
    const std::string en = "The keyboard map was changed by another program since Tavelin "
                           "started. Nothing was saved.",
                      de = "Die Tastaturbelegung wurde seit dem Start von Tavelin von einem "
                           "anderen Programm geändert. Es wurde nichts gespeichert.";
    // The value another program writes; none: the command line sets CapsLock to Tab.
    const std::tuple<testsupport::Env, int, const char*, Bytes, std::string> cases[] = {
        {kEnglish, IDC_CMDOK, kMap, MapOf({tab}), en},
        {kGerman, IDC_CMDOK, kBackup, MapOf({tab}), de},
        {kEnglish, IDC_CMDRESTORE, kBackup, {}, en},
        {kGerman, IDC_CMDRESTORE, kMap, {}, de},
        {kEnglish, IDC_CMDOK, nullptr, {}, en},
    };
    for (const auto& [locale, button, value, changed, text] : cases) {
        SCOPED_TRACE(text + (button == IDC_CMDOK ? " OK " : " Restore ") + (value ? value : ""));
        TearDown();
        WriteLayoutValue(kMap, MapOf({caps}));
        if (button == IDC_CMDRESTORE)
            WriteLayoutValue(kBackup, MapOf({tab}));
        Tavelin app(locale);
        ASSERT_TRUE(app.Main());
        if (button == IDC_CMDOK)
            app.PressDown(1);
        const std::vector<int> lists = {app.Selection(0), app.Selection(1), app.Selection(2)};
        if (value) {
            WriteLayoutValue(value, changed);
        } else {
            const RunResult run = RunTavelin("/set CAPSLOCK=TAB");
            EXPECT_EQ(run.code, 0u) << run.output;
            EXPECT_EQ(ReadLayoutValue(kMap), MapOf({tab}));
        }
        const auto map = ReadLayoutValue(kMap), backup = ReadLayoutValue(kBackup);

        app.Click(button);
        if (button == IDC_CMDRESTORE) {
            EXPECT_FALSE(app.Answer(IDYES).empty()) << "no restore question";
        }
        EXPECT_EQ(app.Answer(IDOK), text);
        EXPECT_EQ(std::pair(ReadLayoutValue(kMap), ReadLayoutValue(kBackup)),
                  std::pair(map, backup));
        EXPECT_TRUE(::IsWindowVisible(app.Main()));
        EXPECT_EQ(std::vector<int>({app.Selection(0), app.Selection(1), app.Selection(2)}), lists);
        CloseWithoutQuestion(app); // no restart question: the program ends by itself
    }
}

// What Wine cannot show: Explorer shows the first icon group, the program's own in every size and
// colour depth that Windows 2000 and later pick from; the manifest demands elevation and the
// version 6 common controls; the message table turns a log entry's ID into the entry's text.
TEST(TavelinExe, IconManifestAndMessageTable) {
    HMODULE exe = ::LoadLibraryExA("Z:" TAVELIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    auto resource = [exe](LPCWSTR type, LPCWSTR name) {
        HRSRC found = ::FindResourceW(exe, name, type);
        return found ? std::string(
                           static_cast<const char*>(::LockResource(::LoadResource(exe, found))),
                           ::SizeofResource(exe, found))
                     : std::string();
    };
    ULONG_PTR first = 0;
    ::EnumResourceNamesW(
        exe, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            *reinterpret_cast<ULONG_PTR*>(found) = reinterpret_cast<ULONG_PTR>(name);
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, static_cast<ULONG_PTR>(IDI_TAVELIN));
    // The group's directory: a 6-byte header with the count, then 14 bytes per image.
    const std::string dir = resource(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_TAVELIN));
    std::set<std::pair<int, int>> images; // pixels, bits per pixel
    for (size_t i = 0; dir.size() >= 6 && i < *reinterpret_cast<const WORD*>(&dir[4]); ++i)
        images.insert({static_cast<BYTE>(dir[6 + 14 * i]),
                       *reinterpret_cast<const WORD*>(&dir[6 + 14 * i + 6])});
    EXPECT_EQ(images, (std::set<std::pair<int, int>>{
                          {16, 8}, {16, 32}, {32, 8}, {32, 32}, {48, 8}, {48, 32}}));
    const std::string manifest = resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), manifest.npos);
    EXPECT_NE(manifest.find("Common-Controls\" version=\"6.0.0.0\""), manifest.npos);
    DWORD_PTR entry[] = {reinterpret_cast<DWORD_PTR>("CapsLock key mapped to: Key turned off")};
    char text[256] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe,
                     MSG_KEY_MAPPING_CHANGED, 0, text, sizeof(text),
                     reinterpret_cast<va_list*>(entry));
    ::FreeLibrary(exe);
    EXPECT_STREQ(text, reinterpret_cast<const char*>(entry[0]));
}
