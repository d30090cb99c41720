#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "app/MSingleInstance.h"
#include "support/MsgBoxWatcher.h"
#include "core/Product.h"
#include "ui/main/FMainIds.h"
#include "win32/Seam.h"

using namespace testsupport;

// A refused start (Tavelin on win98, the probe as a standard user of XP) shows its box in the
// system locale's language (Austria's German too) and no window, the single-instance name let go.
// (The English text of the first: the command line's,
// CommandLineTest.CommandsAgainstTheStoredValues.)
TEST(Start, RefusedInTheLocaleLanguage) {
    WineVersionFor win98("tavelin.exe", "win98");
    const struct {
        const char* exe;
        const char* locale;
        const char* text;
    } cases[] = {
        // clang-format off
        {.exe = TAVELIN_EXE, .locale = "de_AT.UTF-8",
         .text = "Dieses Programm ist nur unter Windows 2000, XP, 2003 und Vista ausführbar."},
        {.exe = APP_PROBE_EXE, .locale = "en_US.UTF-8",
         .text = "You need administrative privileges to run this program."},
        {.exe = APP_PROBE_EXE, .locale = "de_DE.UTF-8",
         .text = "Sie müssen über Administrator-Rechte verfügen, um dieses Programm auszuführen."},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ChildProcess process(c.exe, "", {{"LC_ALL", c.locale}});
        auto box = FindMsgBox("Tavelin", process.Pid(), 15000);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, c.text);
        EXPECT_FALSE(UniqueHandle(::OpenMutexW(SYNCHRONIZE, FALSE, MSingleInstance::kMutexName)));
        ::PostMessageW(box->hwnd, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(process.Wait(15000), 0u);
    }
}

// With an earlier copy running, a second one activates its window before any other check (even
// on win98) and ends: the exact title, else the first beginning with it. When none shows within
// two seconds (another class: a decoy) it starts all the same.
TEST(TavelinExe, SecondCopyActivatesOnlyTavelinsWindow) {
    UniqueWindow other(::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                         10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr));
    const wchar_t* const kMain = kMainWindowClass;
    const struct {
        const char* os; // as Wine reports it
        const wchar_t* cls;
        std::vector<std::string> titles;
        bool activated = false; // the first title's window brought to the front, else it starts
    } cases[] = {
        {.os = "win98", .cls = kMain, .titles = {"Tavelin 2.0 - Setup"}, .activated = true},
        {.os = "winxp",
         .cls = kMain,
         .titles = {"Tavelin 2.0", "Tavelin 2.0 - Setup"},
         .activated = true},
        {.os = "win10", .cls = kMain, .titles = {"Tavelin 2", "My Tavelin 2.0", "tavelin 2.0x"}},
        {.os = "win2k", .cls = L"STATIC", .titles = {"Tavelin 2.0"}},
    };
    for (const auto& [version, cls, titles, activated] : cases) {
        SCOPED_TRACE(std::string(version) + " " + MText::WideToUtf8(cls));
        std::string args = MText::WideToUtf8(cls);
        for (const std::string& title : titles)
            args += " '" + title + "'";
        ChildProcess earlier(INSTANCE_DECOY_EXE, args);
        // Made in order: the last one there, all are.
        ASSERT_TRUE(
            FindTopLevel(earlier.Pid(), cls, MText::Utf8ToWide(titles.back()).c_str(), 15000));
        HWND first = FindTopLevel(earlier.Pid(), cls, MText::Utf8ToWide(titles[0]).c_str(), 0);
        WineVersionFor as("tavelin.exe", version);
        ::SetForegroundWindow(other.get());
        const DWORD start = ::GetTickCount();
        ChildProcess tavelin(TAVELIN_EXE);
        if (activated) {
            EXPECT_EQ(tavelin.Wait(15000), 0u); // a box left open would hold it
            HandleMessagesUntil([&] { return ::GetForegroundWindow() == first; }, 2000);
            EXPECT_EQ(::GetForegroundWindow(), first);
            continue;
        }
        HWND main = FindTopLevel(tavelin.Pid(), kMainWindowClass,
                                 MText::Utf8ToWide(Product::MainWindowTitle()).c_str(), 15000);
        ASSERT_TRUE(main) << "did not start";
        EXPECT_GE(::GetTickCount() - start, MSingleInstance::kActivationWaitMs)
            << "waited too short";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(tavelin.Wait(15000), 0u);
    }
}

// No memory left even for an error's text: the program ends with 1 rather than go on.
TEST(Start, ErrorWithoutMemoryEndsTheProgram) {
    ChildProcess probe(APP_PROBE_EXE, "oom");
    EXPECT_EQ(probe.Wait(15000), 1u);
}

// An older Windows version reported (a compatibility layer): the levels are still compared, so
// the shell one level lower starts nothing from the program and its window is not activated.
TEST(Start, ReportedVersionDoesNotDecideTrust) {
    for (const char* version : {"winxp", "win2k", "win7"}) {
        WineVersionFor as("app_probe.exe", version);
        ChildProcess probe(APP_PROBE_EXE, "trust");
        ASSERT_EQ(probe.Wait(15000), 0u) << version;
        EXPECT_EQ(probe.Output(), "desktop ignored\r\n") << version;
    }
}

// A window of Tavelin's class counts only when its process runs as the same user at the same
// level (Wine has one user at one level: the owners come through the seam).
TEST(MSingleInstance, ActivatesOnlyAWindowOfTheSameUserAndLevel) {
    const WNDCLASSW wc{0, &::DefWindowProcW, 0, 0, {}, {}, {}, {}, {}, kMainWindowClass};
    ::RegisterClassW(&wc);
    UniqueWindow window(::CreateWindowExW(0, kMainWindowClass, L"Tavelin 2.0", WS_OVERLAPPED, 0, 0,
                                          10, 10, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    const ProcessIdentity admin{{1, 2, 5, 32}, 0x3000};
    const struct {
        ProcessIdentity owner;
        bool activated;
    } cases[] = {
        {.owner = admin, .activated = true},
        {.owner = ProcessIdentity{{1, 2, 5, 21}, 0x3000}, .activated = false},
        {.owner = ProcessIdentity{admin.user, 0x2000}, .activated = false},
    };
    for (const auto& [owner, activated] : cases) {
        const Seam<MSingleInstance::Calls>::Override fake({
            .windowIdentity = [&](HWND hwnd) { return hwnd == window.get() ? owner : admin; },
            .ownIdentity = [&] { return admin; },
        });
        EXPECT_EQ(MSingleInstance::ActivateEarlierCopy("Tavelin 2.0"), activated)
            << *owner.integrity;
    }
    // With the real owners (one user under Wine), a minimised window comes back.
    ::ShowWindow(window.get(), SW_MINIMIZE);
    EXPECT_TRUE(MSingleInstance::ActivateEarlierCopy("Tavelin 2.0"));
    EXPECT_FALSE(::IsIconic(window.get()));
}
