#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "ChildProcess.h"
#include "Handles.h"
#include "MMain.h"
#include "MsgBoxWatcher.h"
#include "Product.h"
#include "Text.h"

using testsupport::ChildProcess;
using testsupport::FindMsgBox;
using testsupport::MsgBoxWatcher;
using testsupport::WineVersionFor;

namespace {

UniqueWindow MakeWindow(const wchar_t* title) {
    return UniqueWindow(::CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                          10, 200, 100, nullptr, nullptr, nullptr, nullptr));
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
}

// Runs tavelin.exe to its end, expecting no message box on the way.
void ExpectSilentEnd(ChildProcess& tavelin, const char* what) {
    ASSERT_TRUE(tavelin.Started()) << what;
    auto code = tavelin.Wait(15000);
    if (!code) {
        auto box = FindMsgBox("", tavelin.Pid(), 0);
        FAIL() << what << ": still running" << (box ? ", showing: " + box->text : "");
    }
    EXPECT_EQ(*code, 0u) << what;
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
        {"EN", MMain::Refusal::UnsupportedWindows,
         "This program runs only on Windows 2000, XP, 2003 and Vista.", IDI_INFORMATION},
        {"DE", MMain::Refusal::UnsupportedWindows,
         "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar.",
         IDI_INFORMATION},
        {"EN", MMain::Refusal::NoAdministratorRights,
         "You need administrative privileges to run this program.", IDI_WARNING},
        {"DE", MMain::Refusal::NoAdministratorRights,
         "Sie müssen über Administrator-Rechte verfügen, um dieses Programm auszuführen.",
         IDI_WARNING},
    };
    for (const auto& c : cases) {
        MMain::LangCode = c.lang;
        MsgBoxWatcher watcher("Tavelin", IDOK);
        MMain::ShowRefusal(c.reason);
        ASSERT_TRUE(watcher.Result()) << c.text;
        EXPECT_EQ(watcher.Result()->text, c.text);
        EXPECT_EQ(watcher.Result()->icon, ::LoadIconW(nullptr, c.icon)) << c.text;
    }
}

// Exact title first, then the first title that begins with it; nothing else qualifies.
TEST(ActivateWindowByTitle, ExactMatchFirstThenPrefix) {
    UniqueWindow decoy = MakeWindow(L"decoy");
    struct Case {
        std::vector<const wchar_t*> titles; // created in this order
        int expected;                       // index into titles, -1: none
    } cases[] = {
        {{L"Tavelin 2.0"}, 0},
        {{L"Tavelin 2.0 - Setup"}, 0},
        {{L"Tavelin 2.0 - Setup", L"Tavelin 2.0"}, 1},
        {{L"Tavelin 2.0", L"Tavelin 2.0 - Setup"}, 0},
        {{L"Tavelin 2", L"My Tavelin 2.0", L"tavelin 2.0x"}, -1},
    };
    for (const auto& c : cases) {
        std::vector<UniqueWindow> windows;
        for (auto t : c.titles)
            windows.push_back(MakeWindow(t));
        ::SetForegroundWindow(decoy.get());
        PumpMessages();
        bool found = MMain::ActivateWindowByTitle(Product::MainWindowTitle());
        PumpMessages();
        EXPECT_EQ(found, c.expected >= 0);
        HWND want = c.expected >= 0 ? windows[c.expected].get() : decoy.get();
        EXPECT_EQ(::GetForegroundWindow(), want) << c.expected;
    }
}

// tavelin.exe under Wine, refused for the Windows version in the system locale's language.
TEST(TavelinExe, RefusesUnsupportedWindowsInTheLocaleLanguage) {
    WineVersionFor win98("tavelin.exe", "win98");
    struct Case {
        const char* locale;
        const char* text;
    } cases[] = {
        {"en_US.UTF-8", "This program runs only on Windows 2000, XP, 2003 and Vista."},
        {"de_DE.UTF-8",
         "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar."},
        {"de_AT.UTF-8",
         "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar."},
        {"fr_FR.UTF-8", "This program runs only on Windows 2000, XP, 2003 and Vista."},
    };
    for (const auto& c : cases) {
        auto tavelin = ChildProcess::UnderWine(TAVELIN_EXE, {{"LC_ALL", c.locale}});
        ASSERT_TRUE(tavelin.Started());
        auto box = FindMsgBox("Tavelin", tavelin.Pid(), 15000);
        ASSERT_TRUE(box) << c.locale;
        EXPECT_EQ(box->text, c.text) << c.locale;
        EXPECT_NE(box->icon, nullptr);
        testsupport::CloseMsgBox(box->hwnd, IDOK);
        EXPECT_EQ(tavelin.Wait(15000), 0u) << c.locale;
    }
}

// With an earlier copy running, a second one only activates its window, before any other check
// (even on an unsupported system), and ends silently also when there is no window to activate.
TEST(TavelinExe, SecondCopyActivatesTheFirstAndEndsSilently) {
    UniqueHandle earlier(::CreateMutexW(nullptr, TRUE, MMain::kInstanceMutexName));
    ASSERT_TRUE(earlier);
    UniqueWindow decoy = MakeWindow(L"decoy");
    struct Case {
        const char* version;
        const wchar_t* title; // window of the earlier copy; nullptr: none
    } cases[] = {
        {"winxp", L"Tavelin 2.0"},
        {"win98", L"Tavelin 2.0"},
        {"winxp", L"Tavelin 2.0 (busy)"},
        {"winxp", nullptr},
    };
    for (const auto& c : cases) {
        WineVersionFor version("tavelin.exe", c.version);
        UniqueWindow first = c.title ? MakeWindow(c.title) : UniqueWindow();
        ::SetForegroundWindow(decoy.get());
        PumpMessages();
        ChildProcess tavelin(TAVELIN_EXE);
        ExpectSilentEnd(tavelin, c.version);
        PumpMessages();
        EXPECT_EQ(::GetForegroundWindow(), c.title ? first.get() : decoy.get()) << c.version;
    }
}

// A supported system with an administrator: every check passes, the shared objects are built,
// the main window opens, and closing it ends the program normally.
TEST(TavelinExe, StartsOnSupportedSystems) {
    const std::wstring title = Utf8ToWide(Product::MainWindowTitle());
    for (const char* version : {"win2k", "winxp", "win2003", "vista", "win7", "win8"}) {
        WineVersionFor as("tavelin.exe", version);
        ChildProcess tavelin(TAVELIN_EXE);
        HWND main = nullptr;
        for (int i = 0; i < 750 && !main; ++i, ::Sleep(20)) {
            HWND found = ::FindWindowW(nullptr, title.c_str());
            DWORD pid = 0;
            ::GetWindowThreadProcessId(found, &pid);
            if (found && pid == tavelin.Pid() && ::IsWindowVisible(found))
                main = found;
        }
        ASSERT_TRUE(main) << version << ": no main window";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        ExpectSilentEnd(tavelin, version);
    }
}

// The version information and the manifest are in the executable.
TEST(TavelinExe, CarriesVersionInformationAndManifest) {
    std::wstring path = Utf8ToWide(std::string("Z:") + TAVELIN_EXE);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    DWORD ignored = 0;
    std::vector<BYTE> info(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(
        ::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT length = 0;
        std::wstring key = L"\\StringFileInfo\\040904B0\\" + std::wstring(name);
        return ::VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value),
                                &length) &&
                       value
                   ? std::wstring(value)
                   : std::wstring();
    };
    EXPECT_EQ(text(L"ProductName"), L"Tavelin");
    EXPECT_EQ(text(L"FileVersion"), L"2.00.0004");

    HMODULE exe = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HRSRC res = ::FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(res);
    std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(exe, res))),
                         ::SizeofResource(exe, res));
    ::FreeLibrary(exe);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware>true</dpiAware>"), std::string::npos);
    // Windows 8, 8.1 and 10 would report their own numbers and fail the version check.
    for (const char* newer :
         {"4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
          "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_EQ(manifest.find(newer), std::string::npos) << newer;
}
