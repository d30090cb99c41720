#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "app/MMain.h"
#include "support/MsgBoxWatcher.h"
#include "core/Product.h"

using namespace testsupport;

namespace {

const char* const kUnsupportedEN = "This program runs only on Windows 2000, XP, 2003 and Vista.";
const char* const kUnsupportedDE =
    "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar.";

UniqueWindow MakeWindow(const wchar_t* title) {
    return UniqueWindow(::CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                          10, 200, 100, nullptr, nullptr, nullptr, nullptr));
}

} // namespace

// The refusal texts, icons and title in both languages (German version refusal: tavelin.exe).
TEST(Refusals, TextsIconsAndTitle) {
    using enum MMain::Refusal;
    const std::tuple<const char*, MMain::Refusal, std::string, LPCWSTR> cases[] = {
        {"EN", UnsupportedWindows, kUnsupportedEN, IDI_INFORMATION},
        {"EN", NoAdministratorRights, "You need administrative privileges to run this program.",
         IDI_WARNING},
        {"DE", NoAdministratorRights,
         "Sie müssen über Administrator-Rechte verfügen, um dieses Programm auszuführen.",
         IDI_WARNING},
    };
    for (const auto& [lang, reason, text, icon] : cases) {
        MMain::LangCode = lang;
        MsgBoxWatcher watcher("Tavelin", IDOK);
        MMain::ShowRefusal(reason);
        ASSERT_TRUE(watcher.Result()) << text;
        EXPECT_EQ(std::pair(watcher.Result()->text, watcher.Result()->icon),
                  std::pair(text, ::LoadIconW(nullptr, icon)));
    }
}

// tavelin.exe under Wine, refused for the Windows version in the system locale's language. It
// lets go of the single-instance name before it shows its box, so that a copy started meanwhile
// does not take it for a running Tavelin.
TEST(TavelinExe, RefusesUnsupportedWindowsInTheLocaleLanguage) {
    WineVersionFor win98("tavelin.exe", "win98");
    for (auto [locale, text] :
         {std::pair{"en_US.UTF-8", kUnsupportedEN}, std::pair{"de_DE.UTF-8", kUnsupportedDE}}) {
        ChildProcess tavelin(TAVELIN_EXE, "", {{"LC_ALL", locale}});
        ASSERT_TRUE(tavelin.Pid());
        auto box = FindMsgBox("Tavelin", tavelin.Pid(), 15000);
        ASSERT_TRUE(box) << locale;
        EXPECT_EQ(box->text, text) << locale;
        EXPECT_FALSE(UniqueHandle(::OpenMutexW(SYNCHRONIZE, FALSE, MMain::kInstanceMutexName)));
        ::PostMessageW(box->hwnd, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(tavelin.Wait(15000), 0u) << locale;
    }
}

// With an earlier copy running, a second one only activates its window, before any other check
// (even on an unsupported system), and ends silently. The window is the one with the exact
// title, else the first whose title begins with it (an index into the titles, created in this
// order). When none shows within two seconds (the name is held by something else), the second
// copy starts all the same (-1): every check passes on a supported system with an
// administrator, and closing the window ends the program normally. Windows 10 reports 6.2 only
// while the manifest names no system newer than Windows 7.
TEST(TavelinExe, SecondCopyActivatesTheFirstOrStartsOnSupportedSystems) {
    UniqueHandle earlier(::CreateMutexW(nullptr, TRUE, MMain::kInstanceMutexName));
    ASSERT_TRUE(earlier);
    UniqueWindow decoy = MakeWindow(L"decoy");
    const std::tuple<const char*, std::vector<const wchar_t*>, int> cases[] = {
        {"winxp", {L"Tavelin 2.0"}, 0},
        {"win98", {L"Tavelin 2.0 - Setup"}, 0},
        {"winxp", {L"Tavelin 2.0", L"Tavelin 2.0 - Setup"}, 0},
        {"winxp", {L"Tavelin 2", L"My Tavelin 2.0", L"tavelin 2.0x"}, -1},
        {"win2k", {}, -1},
        {"win10", {}, -1},
    };
    for (const auto& [version, titles, expected] : cases) {
        WineVersionFor as("tavelin.exe", version);
        std::vector<UniqueWindow> windows;
        for (auto title : titles)
            windows.push_back(MakeWindow(title));
        ::SetForegroundWindow(decoy.get());
        const DWORD start = ::GetTickCount();
        ChildProcess tavelin(TAVELIN_EXE);
        if (expected >= 0) {
            EXPECT_EQ(tavelin.Wait(15000), 0u) << version; // a box left open would hold it
            // Activating a window of this thread from another process arrives here as a
            // message, which may still be queued when the other process has ended.
            HWND wanted = windows[expected].get();
            HandleMessagesUntil([&] { return ::GetForegroundWindow() == wanted; }, 2000);
            EXPECT_EQ(::GetForegroundWindow(), wanted) << version;
            continue;
        }
        HWND main = FindTopLevel(tavelin.Pid(), nullptr,
                                 Utf8ToWide(Product::MainWindowTitle()).c_str(), 15000);
        ASSERT_TRUE(main) << version << ": did not start";
        EXPECT_GE(::GetTickCount() - start, MMain::kActivationWaitMs) << "gave up waiting early";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(tavelin.Wait(15000), 0u) << version;
    }
}
