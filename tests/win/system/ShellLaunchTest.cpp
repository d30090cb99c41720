#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "system/DonationAddress.h"
#include "system/ShellLaunch.h"
#include "win32/Seam.h"

using ShellLaunch::Launch;

namespace {

const ProcessIdentity kAdmin{{1, 2, 5, 32}, 0x3000}, kUser{{1, 2, 5, 21}, 0x2000},
    kAdminNt5{{1, 2, 5, 32}, std::nullopt};

} // namespace

// The donation page starts from here only when the desktop shell runs as this program (the rule's
// other users and levels: SingleInstance), else through the shell; when that fails the caller
// shows the address. Always in a normal window.
TEST(ShellLaunch, RouteByWhoRunsTheDesktopShell) {
    using Id = std::optional<ProcessIdentity>;
    // Shell, this program, NT 6, what the desktop shell answers, what happened.
    const std::tuple<Id, Id, bool, HRESULT, const char*> cases[] = {
        {kAdminNt5, kAdminNt5, false, S_OK, "direct"},
        {kUser, kAdminNt5, false, REGDB_E_CLASSNOTREG, "desktop box"},
        {kAdmin, kAdmin, true, S_OK, "direct"}, // UAC off, or the built-in Administrator
        {kUser, kAdmin, true, S_FALSE, "desktop"},
        {kAdminNt5, kAdminNt5, true, S_OK, "desktop"}, // NT 6 without levels: not told
        {std::nullopt, kAdmin, true, E_FAIL, "desktop box"},
        {kAdminNt5, std::nullopt, false, S_OK, "desktop"}, // this program's token unread
        {std::nullopt, std::nullopt, false, S_OK, "desktop"},
    };
    for (const auto& [shell, self, nt6, desktop, expected] : cases) {
        std::string log;
        Launch last;
        ShellLaunch::Calls calls;
        calls.nt6 = [&] { return nt6; };
        calls.shellIdentity = [&] { return shell; };
        calls.ownIdentity = [&] { return self; };
        calls.shellExecute = [&](const Launch& l) { log += "direct", last = l; };
        calls.desktopShell = [&](const Launch& l) { return log += "desktop", last = l, desktop; };
        Seam<ShellLaunch::Calls>::Override fake(calls);
        if (!OpenDonationPage("DE"))
            log += " box";
        EXPECT_EQ(log, expected) << nt6 << " " << desktop;
        EXPECT_TRUE(last.showCommand == SW_SHOWNORMAL && last.operation.empty() &&
                    last.file == DonationAddress("DE"));
    }
}

// The direct route for real, with the show state asked for (the shell's route: E2e's click).
TEST(ShellLaunch, RealDirectLaunchStartsFromHere) {
    char self[MAX_PATH] = {}, temp[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::GetTempPathA(MAX_PATH, temp);
    std::string witness = self, out = temp + std::string("tavelin_witness.txt");
    witness.replace(witness.rfind('\\') + 1, std::string::npos, "launch_witness.exe");
    ::DeleteFileA(out.c_str());
    ShellLaunch::ShellExecuteHere({"", witness, out, "", SW_SHOWNORMAL});
    std::string seen;
    for (int i = 0; i < 200 && seen.empty(); ++i, ::Sleep(50))
        std::getline(std::ifstream(out), seen);
    EXPECT_EQ(seen, "shell_tests.exe 1");
    ::DeleteFileA(out.c_str());
}
