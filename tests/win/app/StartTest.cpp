#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "Handles.h"
#include "MMain.h"
#include "MsgBoxWatcher.h"
#include "Product.h"
#include "Text.h"

using testsupport::ChildProcess;
using testsupport::WineVersionFor;

namespace {

const char* const kUnsupportedEN = "This program runs only on Windows 2000, XP, 2003 and Vista.";
const char* const kUnsupportedDE =
    "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar.";

UniqueWindow MakeWindow(const wchar_t* title) {
    return UniqueWindow(::CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                          10, 200, 100, nullptr, nullptr, nullptr, nullptr));
}

// Runs tavelin.exe to its end, expecting no message box on the way.
void ExpectSilentEnd(ChildProcess& tavelin, const char* what) {
    EXPECT_EQ(tavelin.Wait(15000), 0u)
        << what << (testsupport::FindMsgBox("", tavelin.Pid(), 0) ? ": a box is open" : "");
}

} // namespace

// The refusal texts, icons and title in both languages.
TEST(Refusals, TextsIconsAndTitle) {
    struct Case {
        const char* lang;
        MMain::Refusal reason;
        const char* text;
        LPCWSTR icon;
    } cases[] = {
        {"EN", MMain::Refusal::UnsupportedWindows, kUnsupportedEN, IDI_INFORMATION},
        {"DE", MMain::Refusal::UnsupportedWindows, kUnsupportedDE, IDI_INFORMATION},
        {"EN", MMain::Refusal::NoAdministratorRights,
         "You need administrative privileges to run this program.", IDI_WARNING},
        {"DE", MMain::Refusal::NoAdministratorRights,
         "Sie müssen über Administrator-Rechte verfügen, um dieses Programm auszuführen.",
         IDI_WARNING},
    };
    for (const auto& c : cases) {
        MMain::LangCode = c.lang;
        testsupport::MsgBoxWatcher watcher("Tavelin", IDOK);
        MMain::ShowRefusal(c.reason);
        ASSERT_TRUE(watcher.Result()) << c.text;
        EXPECT_EQ(watcher.Result()->text, c.text);
        EXPECT_EQ(watcher.Result()->icon, ::LoadIconW(nullptr, c.icon)) << c.text;
    }
}

// tavelin.exe under Wine, refused for the Windows version in the system locale's language.
TEST(TavelinExe, RefusesUnsupportedWindowsInTheLocaleLanguage) {
    WineVersionFor win98("tavelin.exe", "win98");
    for (auto [locale, text] :
         {std::pair{"en_US.UTF-8", kUnsupportedEN}, std::pair{"de_DE.UTF-8", kUnsupportedDE}}) {
        auto tavelin = ChildProcess::UnderWine(TAVELIN_EXE, {{"LC_ALL", locale}});
        ASSERT_TRUE(tavelin.Started());
        auto box = testsupport::FindMsgBox("Tavelin", tavelin.Pid(), 15000);
        ASSERT_TRUE(box) << locale;
        EXPECT_EQ(box->text, text) << locale;
        testsupport::CloseMsgBox(box->hwnd, IDOK);
        EXPECT_EQ(tavelin.Wait(15000), 0u) << locale;
    }
}

// With an earlier copy running, a second one only activates its window, before any other check
// (even on an unsupported system), and ends silently also when there is no window to activate.
// The window is the one with the exact title, else the first whose title begins with it.
TEST(TavelinExe, SecondCopyActivatesTheFirstAndEndsSilently) {
    UniqueHandle earlier(::CreateMutexW(nullptr, TRUE, MMain::kInstanceMutexName));
    ASSERT_TRUE(earlier);
    UniqueWindow decoy = MakeWindow(L"decoy");
    struct Case {
        const char* version;
        std::vector<const wchar_t*> titles; // created in this order
        int expected;                       // index into titles, -1: none
    } cases[] = {
        {"winxp", {L"Tavelin 2.0"}, 0},
        {"win98", {L"Tavelin 2.0 - Setup"}, 0},
        {"winxp", {L"Tavelin 2.0", L"Tavelin 2.0 - Setup"}, 0},
        {"winxp", {L"Tavelin 2", L"My Tavelin 2.0", L"tavelin 2.0x"}, -1},
        {"winxp", {}, -1},
    };
    for (const auto& c : cases) {
        WineVersionFor version("tavelin.exe", c.version);
        std::vector<UniqueWindow> windows;
        for (auto title : c.titles)
            windows.push_back(MakeWindow(title));
        ::SetForegroundWindow(decoy.get());
        ChildProcess tavelin(TAVELIN_EXE);
        ExpectSilentEnd(tavelin, c.version);
        HWND want = c.expected >= 0 ? windows[c.expected].get() : decoy.get();
        EXPECT_EQ(::GetForegroundWindow(), want) << c.version << " " << c.expected;
    }
}

// A supported system with an administrator: every check passes, the main window opens, and
// closing it ends the program normally. Windows 10 reports 6.2 only while the manifest names
// no system newer than Windows 7.
TEST(TavelinExe, StartsOnSupportedSystems) {
    const std::wstring title = Utf8ToWide(Product::MainWindowTitle());
    for (const char* version : {"win2k", "winxp", "win10"}) {
        WineVersionFor as("tavelin.exe", version);
        ChildProcess tavelin(TAVELIN_EXE);
        HWND main = nullptr;
        for (int i = 0; i < 750 && !main; ++i, ::Sleep(20)) {
            HWND found = ::FindWindowW(nullptr, title.c_str());
            DWORD pid = 0;
            ::GetWindowThreadProcessId(found, &pid);
            main = found && pid == tavelin.Pid() && ::IsWindowVisible(found) ? found : nullptr;
        }
        ASSERT_TRUE(main) << version << ": no main window";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        ExpectSilentEnd(tavelin, version);
    }
}

// What Wine cannot show: the manifest demands elevation and the version 6 common controls.
TEST(TavelinExe, ManifestDemandsElevationAndCommonControls6) {
    std::wstring path = Utf8ToWide(std::string("Z:") + TAVELIN_EXE);
    HMODULE exe = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HRSRC res = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(res);
    std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(exe, res))),
                         ::SizeofResource(exe, res));
    ::FreeLibrary(exe);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
}
