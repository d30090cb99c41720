// The whole program under Wine: the real tavelin.exe, driven from outside, the registry read
// back afterwards.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "ui/main/FMainIds.h"
#include "e2e/MainWindowDriver.h"
#include "support/Mouse.h"
#include "support/MsgBoxWatcher.h"
#include "win32/Text.h"
#include "messages.h"
#include "resources/pictures.h"

using namespace e2e;
using testsupport::FindMsgBox;

namespace {

const std::string kPad(100, ' ');
constexpr int kLocked = -1;

// While it lives, the shell hands http and https addresses to a recorder instead of the browser.
// Wine reads address handlers from HKEY_CLASSES_ROOT only; the handlers found there come back.
class BrowserStandIn {
  public:
    BrowserStandIn() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        file_ = std::wstring(temp) + L"tavelin-address.txt";
        ::DeleteFileW(file_.c_str());
        const std::wstring command =
            L"\"Z:" + Utf8ToWide(RECORD_ADDRESS_EXE) + L"\" \"" + file_ + L"\" \"%1\"";
        for (int i = 0; i < 2; ++i) {
            wchar_t found[1024] = {};
            DWORD size = sizeof(found) - sizeof(wchar_t);
            if (::SHGetValueW(HKEY_CLASSES_ROOT, kKeys[i], nullptr, nullptr, found, &size) ==
                ERROR_SUCCESS)
                saved_[i] = found;
            Set(kKeys[i], command);
        }
    }
    ~BrowserStandIn() {
        for (int i = 0; i < 2; ++i)
            if (saved_[i])
                Set(kKeys[i], *saved_[i]);
            else
                ::SHDeleteValueW(HKEY_CLASSES_ROOT, kKeys[i], nullptr);
        ::DeleteFileW(file_.c_str());
    }
    // The address the shell opened, or "" when none came within timeoutMs.
    std::string Address(DWORD timeoutMs) const {
        for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < timeoutMs; ::Sleep(50)) {
            std::ifstream in(WideToUtf8(file_), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            if (!text.str().empty())
                return text.str();
        }
        return "";
    }

  private:
    static void Set(const wchar_t* key, const std::wstring& command) {
        ::SHSetValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, command.c_str(),
                      static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    static constexpr const wchar_t* kKeys[] = {L"http\\shell\\open\\command",
                                               L"https\\shell\\open\\command"};
    std::optional<std::wstring> saved_[2];
    std::wstring file_;
};

class E2e : public CleanLayout {
  protected:
    // Answers the restart question with No and expects the program to end by itself.
    static void DeclineRestart(Tavelin& app) {
        auto box = FindMsgBox("Tavelin", app.Pid(), 5000);
        ASSERT_TRUE(box) << "no restart question";
        EXPECT_EQ(box->text, "You have to reboot the computer for the settings to take effect."
                             "\r\n\r\nDo you want to reboot now?");
        Answer(box->hwnd, IDNO);
        EXPECT_EQ(app.Wait(5000), 0u);
    }

    // Closes with the close box: no question, the program ends.
    static void CloseWithoutQuestion(Tavelin& app) {
        app.CloseWindow();
        EXPECT_EQ(app.Wait(5000), 0u);
    }
};

TEST_F(E2e, WithoutMapEveryKeyShowsItsDefaultAndOnlyABackupOffersRestore) {
    for (bool backup : {false, true}) {
        SCOPED_TRACE(backup ? "backup present" : "no backup");
        if (backup)
            WriteLayoutValue(kBackup, {});
        Tavelin app;
        ASSERT_TRUE(app.Main());
        const char* defaults[] = {"Default (CapsLock key)", "Default (Insert key)",
                                  "Default (ScrollLock key)"};
        const size_t counts[] = {13, 9, 8};
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(app.SelectedText(row), defaults[row] + kPad);
            EXPECT_EQ(app.Items(row).size(), counts[row]);
            EXPECT_TRUE(app.ListEnabled(row) && !app.NoticeVisible(row));
        }
        EXPECT_FALSE(app.Enabled(IDC_CMDOK));
        EXPECT_EQ(app.Enabled(IDC_CMDRESTORE), backup);
        EXPECT_TRUE(app.Visible(IDC_IMGPAYPAL_FIRST + 1));
        EXPECT_FALSE(app.Visible(IDC_IMGPAYPAL_FIRST));
        CloseWithoutQuestion(app);
    }
}

// What each list shows for a stored map: the selected item's name, or kLocked for a list that
// is disabled with its notice and no selection. Which map locks which key is the key-rows
// model's (KeyRowsTest); these cases prove that the window shows its decisions.
TEST_F(E2e, EachKeyShowsTheFunctionTheMapGivesIt) {
    struct Case {
        const char* name;
        Bytes map;
        std::string shown[3];
    };
    const std::string caps = "Default (CapsLock key)", ins = "Default (Insert key)",
                      scr = "Default (ScrollLock key)", locked = "<locked>";
    const Case cases[] = {
        {"CapsLock sends left shift", MapOf({"2A003A00"}), {"Left shift key", ins, scr}},
        {"Insert calculator, ScrollLock turned off",
         MapOf({"21E052E0", "00004600"}),
         {caps, "Calculator", locked}},
        {"count field without its entries",
         FromHex("000000000000000001000000"
                 "2A003A00"
                 "00000000"),
         {locked, locked, locked}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteLayoutValue(kMap, c.map);
        Tavelin app;
        ASSERT_TRUE(app.Main());
        for (int row = 0; row < 3; ++row) {
            const bool isLocked = c.shown[row] == locked;
            EXPECT_EQ(app.ListEnabled(row), !isLocked) << row;
            EXPECT_EQ(app.NoticeVisible(row), isLocked) << row;
            if (isLocked)
                EXPECT_EQ(app.Selection(row), kLocked) << row;
            else
                EXPECT_EQ(app.SelectedText(row), c.shown[row] + kPad) << row;
        }
        EXPECT_FALSE(app.Enabled(IDC_CMDOK));
        CloseWithoutQuestion(app);
    }
}

TEST_F(E2e, SavingWritesTheExactMapAndBacksUpTheFirstStateOnce) {
    {
        Tavelin app;
        ASSERT_TRUE(app.Main());
        ASSERT_TRUE(app.Pick(0, "Key turned off"));
        EXPECT_TRUE(app.Enabled(IDC_CMDOK));
        app.Click(IDC_CMDOK);
        DeclineRestart(app);
    }
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"00003A00"}));
    EXPECT_EQ(ReadLayoutValue(kBackup), Bytes{}); // no map before: a zero-byte backup
    // The log entries read cleanly in the Event Viewer: the program is its source's message file.
    char file[MAX_PATH] = {};
    DWORD size = sizeof(file) - 1;
    HKEY source = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavelin",
                              0, KEY_QUERY_VALUE, &source),
              ERROR_SUCCESS);
    ::RegQueryValueExA(source, "EventMessageFile", nullptr, nullptr, reinterpret_cast<BYTE*>(file),
                       &size);
    ::RegCloseKey(source);
    EXPECT_TRUE(std::string(file).ends_with("\\tavelin.exe")) << file;
    // ... and its message table turns the entry's ID into the entry's own text.
    HMODULE exe = ::LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    DWORD_PTR entry[] = {reinterpret_cast<DWORD_PTR>("CapsLock key mapped to: Key turned off")};
    char text[256] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe,
                     MSG_KEY_MAPPING_CHANGED, 0, text, sizeof(text),
                     reinterpret_cast<va_list*>(entry));
    ::FreeLibrary(exe);
    EXPECT_STREQ(text, reinterpret_cast<const char*>(entry[0]));
    {
        Tavelin app;
        ASSERT_TRUE(app.Main());
        EXPECT_EQ(app.SelectedText(0), "Key turned off" + kPad);
        EXPECT_TRUE(app.Enabled(IDC_CMDRESTORE));
        app.PressDown(1); // Insert: "Key turned off"
        app.Click(IDC_CMDOK);
        DeclineRestart(app);
    }
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"00003A00", "000052E0"}));
    EXPECT_EQ(ReadLayoutValue(kBackup), Bytes{});
}

TEST_F(E2e, LockedEntriesAreWrittenBackUnchangedWhenAnotherKeyChanges) {
    const Bytes original = MapOf({"1D003A00", "00004600"});
    WriteLayoutValue(kMap, original);
    {
        Tavelin app;
        ASSERT_TRUE(app.Main());
        app.PressDown(1);
        app.Click(IDC_CMDOK);
        DeclineRestart(app);
    }
    EXPECT_EQ(ReadLayoutValue(kMap), MapOf({"1D003A00", "00004600", "000052E0"}));
    EXPECT_EQ(ReadLayoutValue(kBackup), original);
}

TEST_F(E2e, RestoreAnsweredYesPutsTheBackupBackByteForByte) {
    const Bytes current = MapOf({"2A003A00"});
    // A backup with flags another tool set: restored as it is, not rebuilt.
    const Bytes backup = FromHex("0000000001000000"
                                 "02000000"
                                 "1D003A00"
                                 "00000000");
    WriteLayoutValue(kMap, current);
    WriteLayoutValue(kBackup, backup);

    Tavelin app;
    ASSERT_TRUE(app.Main());
    app.Click(IDC_CMDRESTORE);
    auto box = FindMsgBox("Tavelin", app.Pid(), 5000);
    ASSERT_TRUE(box);
    Answer(box->hwnd, IDYES);
    DeclineRestart(app);
    EXPECT_EQ(ReadLayoutValue(kMap), backup);
    EXPECT_EQ(ReadLayoutValue(kBackup), std::nullopt);
}

TEST_F(E2e, GermanSystemLocaleGivesGermanTextsAndDonationPicture) {
    Tavelin app(std::map<std::string, std::string>{{"LC_ALL", "de_DE.UTF-8"}});
    ASSERT_TRUE(app.Main());
    EXPECT_EQ(app.Text(IDC_LBKEY_FIRST), "Funktion für CapsLock-Taste festlegen");
    EXPECT_EQ(app.Text(IDC_LBKEY_FIRST + 1), "Funktion für Einfügen-Taste festlegen");
    EXPECT_EQ(app.Text(IDC_CMDCANCEL), "&Abbrechen");
    EXPECT_EQ(app.Text(IDC_CMDRESTORE), "&Standard-Einstellungen wiederherstellen");
    EXPECT_EQ(app.SelectedText(1), "Standard (normale Einfügen-Funktion)" + kPad);
    EXPECT_TRUE(app.Visible(IDC_IMGPAYPAL_FIRST));
    EXPECT_FALSE(app.Visible(IDC_IMGPAYPAL_FIRST + 1));
    CloseWithoutQuestion(app);
}

TEST_F(E2e, FirstStartOpensHelpUpAndLeftOnceLaterF1AndClosingClosesBoth) {
    SetShowStartupInfo(std::nullopt);
    {
        Tavelin app;
        HWND main = app.Main();
        ASSERT_TRUE(main);
        HWND help = app.FindWindowTitled("Tavelin 2.0.4 - Help", 5000);
        ASSERT_TRUE(help);
        EXPECT_EQ(ShowStartupInfo(), "0");
        RECT m{}, h{};
        ::GetWindowRect(main, &m);
        ::GetWindowRect(help, &h);
        const int offset = ::MulDiv(1600, ::GetDeviceCaps(::GetDC(nullptr), LOGPIXELSX), 1440);
        EXPECT_EQ(h.left, m.left - offset);
        EXPECT_EQ(h.top, m.top - offset);
        CloseWithoutQuestion(app);
        EXPECT_FALSE(::IsWindow(help));
    }
    // Later starts show no help window by themselves; F1 opens it as the help picture does,
    // and the close box ends both without a question.
    Tavelin again;
    ASSERT_TRUE(again.Main());
    EXPECT_FALSE(again.FindWindowTitled("Tavelin 2.0.4 - Help", 1000));
    again.PressF1();
    HWND help = again.FindWindowTitled("Tavelin 2.0.4 - Help", 5000);
    ASSERT_TRUE(help);
    CloseWithoutQuestion(again);
    EXPECT_FALSE(::IsWindow(help));
}

// What a person clicks with the real mouse, in this order in one window, and what must follow.
// Before each click the control must be the one under the mouse, and the pictures show the hand.
TEST_F(E2e, RealClicksReachEveryPictureListAndButton) {
    WriteLayoutValue(kBackup, {}); // Restore clickable
    BrowserStandIn browser;
    Tavelin app;
    ASSERT_TRUE(app.Main());
    const HCURSOR arrow = app.CursorOver(IDC_LBKEY_FIRST);
    EXPECT_EQ(app.ToolTipOver(IDC_IMGHELP), "Help");

    auto restoreAnswered = [&](int button) {
        return [&app, button] {
            auto box = FindMsgBox("Tavelin", app.Pid(), 5000);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, "Restore original key settings?");
            Answer(box->hwnd, button);
            EXPECT_TRUE(::IsWindow(app.Main())) << "the window stays open";
            EXPECT_EQ(ReadLayoutValue(kMap), std::nullopt);
            EXPECT_EQ(ReadLayoutValue(kBackup), Bytes{});
        };
    };
    struct Click {
        const char* what;
        int id;
        bool hand;
        std::function<void()> effect;
    };
    const Click clicks[] = {
        {"donation picture", IDC_IMGPAYPAL_FIRST + 1, true,
         [&] {
             EXPECT_EQ(browser.Address(10000),
                       "https://www.paypal.com/cgi-bin/webscr?cmd=_donations&business="
                       "donations%40tavelin.example.org&item_name=Tavelin&item_number=Tavelin"
                       "&page_style=PayPal&no_shipping=1&cn=Mitteilung%20%28optional%29&tax=0"
                       "&currency_code=EUR&lc=EN&bn=PP%2dDonationsBF&charset=UTF%2d8");
         }},
        {"Restore, answered No", IDC_CMDRESTORE, false, restoreAnswered(IDNO)},
        {"Restore, answered Cancel", IDC_CMDRESTORE, false, restoreAnswered(IDCANCEL)},
        {"help picture", IDC_IMGHELP, true,
         [&] { EXPECT_TRUE(app.FindWindowTitled("Tavelin 2.0.4 - Help", 5000)); }},
        {"Cancel", IDC_CMDCANCEL, false, [&] { EXPECT_EQ(app.Wait(5000), 0u); }},
    };
    for (const Click& click : clicks) {
        SCOPED_TRACE(click.what);
        if (click.id == IDC_IMGHELP) {
            // Each list opened and an item clicked (before the help window covers them); Cancel
            // then leaves the map as it was.
            const char* picks[] = {"Left shift key", "Key turned off", "Application key"};
            for (int row = 0; row < 3; ++row) {
                EXPECT_TRUE(app.Pick(row, picks[row])) << row;
                EXPECT_EQ(app.SelectedText(row), picks[row] + kPad);
            }
            EXPECT_TRUE(app.Enabled(IDC_CMDOK));
        }
        EXPECT_EQ(app.ControlAt(click.id), click.id);
        // Once the stand-in browser has had the foreground, Wine reports no cursor for the
        // buttons (measured: none for seconds); the pictures' hand is always reported.
        const HCURSOR cursor = app.CursorOver(click.id);
        if (cursor || click.hand)
            EXPECT_EQ(cursor != arrow, click.hand);
        app.Click(click.id);
        click.effect();
    }
    EXPECT_EQ(ReadLayoutValue(kMap), std::nullopt);
}

// Explorer shows an executable's first icon group: it is the program's own, in every size and
// colour depth that Windows 2000 and later pick from.
TEST(ProgramIcon, ComesFirstInSixteenThirtyTwoAndFortyEightPixelsAt8And32Bits) {
    HMODULE exe = ::LoadLibraryExA("Z:" TAVELIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    ULONG_PTR first = 0;
    ::EnumResourceNamesW(
        exe, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            *reinterpret_cast<ULONG_PTR*>(found) = reinterpret_cast<ULONG_PTR>(name);
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, static_cast<ULONG_PTR>(IDI_TAVELIN));
    HRSRC group = ::FindResourceW(exe, MAKEINTRESOURCEW(IDI_TAVELIN), RT_GROUP_ICON);
    ASSERT_TRUE(group);
    // The group's directory: a 6-byte header with the count, then 14 bytes per image.
    const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(exe, group)));
    std::set<std::pair<int, int>> images; // pixels, bits per pixel
    for (int i = 0; i < *reinterpret_cast<const WORD*>(dir + 4); ++i) {
        const BYTE* entry = dir + 6 + 14 * i;
        images.insert({entry[0], *reinterpret_cast<const WORD*>(entry + 6)});
    }
    ::FreeLibrary(exe);
    EXPECT_EQ(images, (std::set<std::pair<int, int>>{
                          {16, 8}, {16, 32}, {32, 8}, {32, 32}, {48, 8}, {48, 32}}));
}

} // namespace
