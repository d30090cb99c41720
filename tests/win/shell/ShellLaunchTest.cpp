#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ChildProcess.h"
#include "DonationAddress.h"
#include "MsgBoxWatcher.h"
#include "ShellLaunch.h"
#include "Text.h"

using ShellLaunch::Elevation;
using ShellLaunch::Launch;

namespace {

// A table whose every entry records its call in log; the desktop shell answers desktopResult.
struct Recorder {
    std::string log;
    Launch last;
    HWND owner = nullptr;
    std::string lang;
    ShellLaunch::Calls Calls(unsigned major, Elevation elevation, HRESULT desktopResult) {
        return {[=, this] { return log += "version ", major; },
                [=, this] { return log += "token ", elevation; },
                [this](const Launch& l) { log += "direct", last = l; },
                [=, this](const Launch& l) { return log += "desktop ", last = l, desktopResult; },
                [this](const Launch& l, HWND o, const std::string& lc) {
                    log += "box", last = l, owner = o, lang = lc;
                }};
    }
};

std::wstring Beside(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + file;
}

std::string ReadWhenWritten(const std::wstring& path, DWORD timeoutMs) {
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < timeoutMs; ::Sleep(50)) {
        std::ifstream in(WideToUtf8(path)); // paths here are ASCII
        std::stringstream text;
        text << in.rdbuf();
        if (!text.str().empty())
            return text.str();
    }
    return "";
}

} // namespace

// Which route each system and token takes, and that the only way out of a failed desktop shell
// is the box: never an elevated launch.
TEST(ShellLaunch, RouteByVersionAndToken) {
    struct Case {
        unsigned major;
        Elevation elevation;
        HRESULT desktop;
        const char* log;
    } cases[] = {
        {5, Elevation::Full, S_OK, "version direct"}, // 2000, XP, 2003: token not asked
        {5, Elevation::Unknown, S_OK, "version direct"},
        {6, Elevation::Full, S_OK, "version token desktop "},
        {6, Elevation::Full, E_FAIL, "version token desktop box"},
        {6, Elevation::Full, REGDB_E_CLASSNOTREG, "version token desktop box"},
        {6, Elevation::Unknown, S_OK, "version token desktop "},
        {6, Elevation::Default, S_OK, "version token direct"},
        {6, Elevation::Limited, S_OK, "version token direct"},
        {10, Elevation::Full, S_FALSE, "version token desktop "},
        {10, Elevation::Limited, S_OK, "version token direct"},
    };
    for (const Case& c : cases) {
        Recorder r;
        ShellLaunch::ScopedCalls scoped(r.Calls(c.major, c.elevation, c.desktop));
        ShellLaunch::Open({"open", "mailto:a@b.example", "", "", SW_SHOWNORMAL}, nullptr, "DE");
        EXPECT_EQ(r.log, c.log) << c.major << " " << int(c.elevation) << " " << c.desktop;
    }
}

// The donation page on every route: normal window, default verb, the address; the box gets the
// owner and the language.
TEST(ShellLaunch, DonationPageOpensInANormalWindow) {
    const HWND owner = ::GetDesktopWindow();
    for (const char* lc : {"DE", "EN"})
        for (auto [major, desktop, log] : {std::tuple{5u, S_OK, "version direct"},
                                           {6u, S_OK, "version token desktop "},
                                           {6u, E_FAIL, "version token desktop box"}}) {
            Recorder r;
            ShellLaunch::ScopedCalls scoped(r.Calls(major, Elevation::Full, desktop));
            OpenDonationPage(lc, owner);
            EXPECT_EQ(r.log, log);
            EXPECT_EQ(r.last.showCommand, SW_SHOWNORMAL) << log;
            EXPECT_EQ(r.last.operation, "");
            EXPECT_EQ(r.last.file, DonationAddress(lc));
            if (desktop == E_FAIL)
                EXPECT_TRUE(r.owner == owner && r.lang == lc);
        }
}

// Wine reports the full token under every version (measured), so the version decides here.
TEST(ShellLaunch, RealVersionAndTokenChecksUnderWine) {
    for (auto [version, route] : {std::pair{"win2k", "direct"},
                                  {"winxp", "direct"},
                                  {"win2003", "direct"},
                                  {"vista", "desktop"},
                                  {"win7", "desktop"},
                                  {"win10", "desktop"}}) {
        testsupport::WineVersionFor v("shell_route_probe.exe", version);
        testsupport::ChildProcess probe(WideToUtf8(Beside(L"shell_route_probe.exe")));
        ASSERT_EQ(probe.Wait(10000), 0u) << version;
        EXPECT_EQ(probe.Output(), std::string(route) + "\r\n") << version;
    }
}

// The whole chain for real: through the desktop shell the program is started by Explorer (the
// desktop process), directly by this process; either way with the show state asked for.
TEST(ShellLaunch, RealLaunchesStartFromTheDesktopShellOrFromHere) {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    const ShellLaunch::Calls real = ShellLaunch::RealCalls();
    ASSERT_EQ(ShellLaunch::ChooseRoute(real.majorVersion(), real.elevation()),
              ShellLaunch::Route::DesktopShell);
    for (auto [major, expected] : {std::pair{6u, "explorer.exe 1"}, {5u, "shell_tests.exe 1"}}) {
        ShellLaunch::Calls calls = real;
        calls.majorVersion = [major] { return major; };
        calls.showAddress = [](const Launch&, HWND, const std::string&) { ADD_FAILURE(); };
        ShellLaunch::ScopedCalls scoped(calls);
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        const std::wstring out = std::wstring(temp) + L"tavelin_witness.txt";
        ::DeleteFileW(out.c_str());
        ShellLaunch::Open(
            {"", WideToUtf8(Beside(L"launch_witness.exe")), WideToUtf8(out), "", SW_SHOWNORMAL},
            nullptr, "EN");
        EXPECT_EQ(ReadWhenWritten(out, 10000), expected) << major;
        ::DeleteFileW(out.c_str());
    }
    ::OleUninitialize();
}

// No desktop shell: the real box shows the address in the user's language, and never an elevated
// launch. (Copying the box's text with Ctrl+C is Windows' own; Wine 8's boxes copy nothing.)
TEST(ShellLaunch, WithoutDesktopShellTheAddressIsShown) {
    const std::string address = "https://tavelin.example.org/spende?a=1&b=2";
    for (const char* lc : {"DE", "EN"}) {
        ShellLaunch::Calls calls = ShellLaunch::RealCalls();
        calls.majorVersion = [] { return 6u; };
        calls.elevation = [] { return Elevation::Full; };
        calls.desktopShell = [](const Launch&) { return REGDB_E_CLASSNOTREG; };
        calls.shellExecute = [](const Launch&) { ADD_FAILURE() << "elevated launch"; };
        ShellLaunch::ScopedCalls scoped(calls);
        testsupport::MsgBoxWatcher watcher("Tavelin", IDOK);
        ShellLaunch::Open({"", address, "", "", SW_SHOWNORMAL}, nullptr, lc);
        ASSERT_TRUE(watcher.Result()) << lc;
        EXPECT_EQ(watcher.Result()->text, ShellLaunch::AddressNotice(address, lc));
        EXPECT_NE(watcher.Result()->text.find("\r\n" + address + "\r\n"), std::string::npos);
        EXPECT_NE(watcher.Result()->text.find(lc == std::string("DE") ? "Strg+C" : "Ctrl+C"),
                  std::string::npos);
    }
}
