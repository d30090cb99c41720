#include <gtest/gtest.h>

#include <algorithm>

#include "support/ChildProcess.h"
#include "app/MMain.h"
#include "app/SingleInstance.h"
#include "support/MsgBoxWatcher.h"
#include "core/Product.h"
#include "ui/main/FMainIds.h"
#include "win32/Seam.h"

using namespace testsupport;

namespace {

const char* const kUnsupportedEN = "This program runs only on Windows 2000, XP, 2003 and Vista.";
const char* const kUnsupportedDE =
    "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar.";

} // namespace

// The refusals' icons (comparable in this process only) and the German rights' refusal.
TEST(Refusals, TextsIconsAndTitle) {
    using enum MMain::Refusal;
    const std::tuple<Language, MMain::Refusal, std::string, LPCWSTR> cases[] = {
        {Language::English, UnsupportedWindows, kUnsupportedEN, IDI_INFORMATION},
        {Language::German, NoAdministratorRights,
         "Sie müssen über Administrator-Rechte verfügen, um dieses Programm auszuführen.",
         IDI_WARNING},
    };
    for (const auto& [lang, reason, text, icon] : cases) {
        MsgBoxWatcher watcher("Tavelin", IDOK);
        MMain::ShowRefusal(reason, lang);
        ASSERT_TRUE(watcher.Result()) << text;
        EXPECT_EQ(std::pair(watcher.Result()->text, watcher.Result()->icon),
                  std::pair(text, ::LoadIconW(nullptr, icon)));
    }
}

// Refused for the Windows version in the locale's language (Austria's: others run Germany's),
// the single-instance name let go first so that a copy started meanwhile does not defer to it.
TEST(TavelinExe, RefusesUnsupportedWindowsInTheLocaleLanguage) {
    WineVersionFor win98("tavelin.exe", "win98");
    for (auto [locale, text] :
         {std::pair{"en_US.UTF-8", kUnsupportedEN}, std::pair{"de_AT.UTF-8", kUnsupportedDE}}) {
        ChildProcess tavelin(TAVELIN_EXE, "", {{"LC_ALL", locale}});
        ASSERT_TRUE(tavelin.Pid());
        auto box = FindMsgBox("Tavelin", tavelin.Pid(), 15000);
        ASSERT_TRUE(box) << locale;
        EXPECT_EQ(box->text, text) << locale;
        EXPECT_FALSE(UniqueHandle(::OpenMutexW(SYNCHRONIZE, FALSE, SingleInstance::kMutexName)));
        ::PostMessageW(box->hwnd, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(tavelin.Wait(15000), 0u) << locale;
    }
}

// Below NT 6 a user outside the Administrators group gets the box and no window.
TEST(StartProbe, StandardUserIsRefused) {
    ChildProcess probe(START_PROBE_EXE);
    auto box = FindMsgBox("Tavelin", probe.Pid(), 15000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "You need administrative privileges to run this program.");
    ::PostMessageW(box->hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(probe.Wait(15000), 0u);
}

// With an earlier copy running, a second one activates its window before any other check (even
// on win98) and ends: the exact title, else the first beginning with it (index into the titles).
// When none shows within two seconds (another class: a decoy) it starts all the same (-1),
// passing every check on win10, and ends normally with its window.
TEST(TavelinExe, SecondCopyActivatesOnlyTavelinsWindow) {
    UniqueWindow other(::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                         10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr));
    const std::tuple<const char*, const wchar_t*, std::vector<std::string>, int> cases[] = {
        {"win98", kMainWindowClass, {"Tavelin 2.0 - Setup"}, 0},
        {"winxp", kMainWindowClass, {"Tavelin 2.0", "Tavelin 2.0 - Setup"}, 0},
        {"win10", kMainWindowClass, {"Tavelin 2", "My Tavelin 2.0", "tavelin 2.0x"}, -1},
        {"win2k", L"STATIC", {"Tavelin 2.0"}, -1},
    };
    for (const auto& [version, cls, titles, expected] : cases) {
        SCOPED_TRACE(std::string(version) + " " + WideToUtf8(cls));
        std::string args = WideToUtf8(cls);
        for (const std::string& title : titles)
            args += " '" + title + "'";
        ChildProcess earlier(INSTANCE_DECOY_EXE, args);
        std::vector<HWND> windows;
        for (const std::string& title : titles)
            windows.push_back(FindTopLevel(earlier.Pid(), cls, Utf8ToWide(title).c_str(), 15000));
        ASSERT_TRUE(std::ranges::find(windows, nullptr) == windows.end());
        WineVersionFor as("tavelin.exe", version);
        ::SetForegroundWindow(other.get());
        const DWORD start = ::GetTickCount();
        ChildProcess tavelin(TAVELIN_EXE);
        if (expected >= 0) {
            EXPECT_EQ(tavelin.Wait(15000), 0u); // a box left open would hold it
            HandleMessagesUntil([&] { return ::GetForegroundWindow() == windows[expected]; }, 2000);
            EXPECT_EQ(::GetForegroundWindow(), windows[expected]);
            continue;
        }
        HWND main = FindTopLevel(tavelin.Pid(), kMainWindowClass,
                                 Utf8ToWide(Product::MainWindowTitle()).c_str(), 15000);
        ASSERT_TRUE(main) << "did not start";
        EXPECT_GE(::GetTickCount() - start, SingleInstance::kActivationWaitMs)
            << "waited too short";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(tavelin.Wait(15000), 0u);
    }
}

// A window of Tavelin's class counts only when its process runs as this one: the same user and
// level (not the standard user behind an elevated Tavelin), a level read on one side only is not
// the same. Wine has one user at one level: the owners come through the seam.
TEST(SingleInstance, ActivatesOnlyAWindowOfTheSameUserAndLevel) {
    const WNDCLASSW wc{0, &::DefWindowProcW, 0, 0, {}, {}, {}, {}, {}, kMainWindowClass};
    ::RegisterClassW(&wc);
    UniqueWindow window(::CreateWindowExW(0, kMainWindowClass, L"Tavelin 2.0", WS_OVERLAPPED, 0, 0,
                                          10, 10, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    using Id = std::optional<ProcessIdentity>;
    const ProcessIdentity admin{{1, 2, 5, 32}, 0x3000}, adminNoLevel{admin.user, std::nullopt};
    // The window's owner, this program, activated.
    const std::tuple<Id, Id, bool> cases[] = {
        {admin, admin, true},
        {ProcessIdentity{{1, 2, 5, 21}, 0x3000}, admin, false},
        {ProcessIdentity{admin.user, 0x2000}, admin, false},
        {adminNoLevel, admin, false},
        {adminNoLevel, adminNoLevel, true}, // systems without levels
        {ProcessIdentity{{1, 2, 5, 21}, std::nullopt}, adminNoLevel, false},
        {std::nullopt, adminNoLevel, false},
    };
    for (const auto& [owner, self, activated] : cases) {
        SingleInstance::Calls calls;
        calls.windowIdentity = [&](HWND hwnd) { return hwnd == window.get() ? owner : admin; };
        calls.ownIdentity = [&] { return self; };
        Seam<SingleInstance::Calls>::Override fake(calls);
        EXPECT_EQ(SingleInstance::ActivateEarlierCopy("Tavelin 2.0"), activated)
            << (owner && owner->integrity ? *owner->integrity : 0);
    }
    // With the real owners (one user under Wine), a minimised window comes back.
    ::ShowWindow(window.get(), SW_MINIMIZE);
    EXPECT_TRUE(SingleInstance::ActivateEarlierCopy("Tavelin 2.0") && !::IsIconic(window.get()));
}

// A compatibility layer that reports an older Windows (the user's to set for the program) changes
// nothing: the desktop shell and a window one level below this program are not its equals, so
// the launch goes through the desktop shell and the window is not brought to the front.
TEST(TrustProbe, ReportedVersionDoesNotDecideTrust) {
    for (const char* version : {"winxp", "win2k", "win7"}) {
        WineVersionFor as("trust_probe.exe", version);
        ChildProcess probe(TRUST_PROBE_EXE);
        ASSERT_EQ(probe.Wait(15000), 0u) << version;
        EXPECT_EQ(probe.Output(), "desktop ignored\r\n") << version;
    }
}
