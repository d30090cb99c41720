#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "system/DonationAddress.h"
#include "support/MsgBoxWatcher.h"
#include "system/ShellLaunch.h"

using ShellLaunch::Elevation;
using ShellLaunch::Launch;

// Which route each system and token takes for the donation page, which always opens in a normal
// window; a failed desktop shell ends in the box, never in an elevated launch.
TEST(ShellLaunch, RouteByVersionAndToken) {
    const std::tuple<unsigned, Elevation, HRESULT, const char*> cases[] = {
        {5, Elevation::Full, S_OK, "direct"}, // 2000, XP, 2003: the token is not asked
        {6, Elevation::Full, S_OK, "token desktop"},
        {6, Elevation::Full, REGDB_E_CLASSNOTREG, "token desktop box"},
        {6, Elevation::Unknown, E_FAIL, "token desktop box"},
        {6, Elevation::Default, S_OK, "token direct"},
        {6, Elevation::Limited, S_OK, "token direct"},
        {10, Elevation::Full, S_FALSE, "token desktop"},
    };
    const HWND owner = ::GetDesktopWindow();
    for (const auto& [major, elevation, desktop, expected] : cases) {
        std::string log;
        Launch last;
        ShellLaunch::ScopedCalls scoped(
            {[&] { return major; }, [&] { return log += "token ", elevation; },
             [&](const Launch& l) { log += "direct", last = l; },
             [&](const Launch& l) { return log += "desktop", last = l, desktop; },
             [&](const Launch&, HWND o, const std::string& lc) {
                 log += o == owner && lc == "DE" ? " box" : " box elsewhere";
             }});
        OpenDonationPage("DE", owner);
        EXPECT_EQ(log, expected) << major << " " << int(elevation) << " " << desktop;
        EXPECT_TRUE(last.showCommand == SW_SHOWNORMAL && last.operation.empty() &&
                    last.file == DonationAddress("DE"));
    }
}

// The direct route for real (NT 5): this process starts the program, with the show state asked
// for. (NT 6, where the desktop shell starts it: E2e's click on the donation picture.)
TEST(ShellLaunch, RealDirectLaunchStartsFromHere) {
    char self[MAX_PATH] = {}, temp[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::GetTempPathA(MAX_PATH, temp);
    std::string witness = self, out = temp + std::string("tavelin_witness.txt");
    witness.replace(witness.rfind('\\') + 1, std::string::npos, "launch_witness.exe");
    ::DeleteFileA(out.c_str());
    ShellLaunch::RealCalls().shellExecute({"", witness, out, "", SW_SHOWNORMAL});
    std::string seen;
    for (int i = 0; i < 200 && seen.empty(); ++i, ::Sleep(50))
        std::getline(std::ifstream(out), seen);
    EXPECT_EQ(seen, "shell_tests.exe 1");
    ::DeleteFileA(out.c_str());
}

// No desktop shell: the real box shows the address in the user's language. (Ctrl+C copying the
// box's text is Windows' own; Wine 8's boxes copy nothing, measured.)
TEST(ShellLaunch, WithoutDesktopShellTheAddressIsShown) {
    const std::string address = "https://tavelin.example.org/spende?a=1&b=2";
    for (const std::string lc : {"DE", "EN"}) {
        testsupport::MsgBoxWatcher watcher("Tavelin", IDOK);
        ShellLaunch::RealCalls().showAddress({"", address, "", "", SW_SHOWNORMAL}, nullptr, lc);
        ASSERT_TRUE(watcher.Result()) << lc;
        const std::string& text = watcher.Result()->text;
        EXPECT_NE(text.find("\r\n" + address + "\r\n"), std::string::npos);
        EXPECT_NE(text.find(lc == "DE" ? "Strg+C" : "Ctrl+C"), std::string::npos) << text;
    }
}
