#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "system/DonationAddress.h"
#include "system/ShellLaunch.h"
#include "win32/OleApartment.h"
#include "win32/Seam.h"

using ShellLaunch::Launch;

namespace {

const ProcessIdentity kAdmin{{1, 2, 5, 32}, 0x3000}, kUser{{1, 2, 5, 21}, 0x2000},
    kAdminMedium{kAdmin.user, 0x2000}, kAdminNoLevel{kAdmin.user, std::nullopt};

// What the process's COM security was asked, and whether OLE had opened the apartment by then.
struct {
    HRESULT answer, apartment;
    DWORD capabilities, impersonation;
} g_secure;
HRESULT WINAPI Secure(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD,
                      DWORD impersonation, void*, DWORD capabilities, void*) {
    IUnknown* context = nullptr;
    g_secure.apartment = ::CoGetObjectContext(IID_IUnknown, reinterpret_cast<void**>(&context));
    if (context)
        context->Release();
    g_secure.capabilities = capabilities, g_secure.impersonation = impersonation;
    return g_secure.answer;
}

} // namespace

// The donation page starts from here only when the desktop shell runs as this program (the rule's
// other users and levels: SingleInstance), else through the shell; when that fails the caller
// shows the address. Always in a normal window.
TEST(ShellLaunch, RouteByWhoRunsTheDesktopShell) {
    using Id = std::optional<ProcessIdentity>;
    // Shell, this program, what the desktop shell answers, what happened.
    const std::tuple<Id, Id, HRESULT, const char*> cases[] = {
        {kAdminNoLevel, kAdminNoLevel, S_OK, "direct"}, // systems without levels
        {kUser, kAdminNoLevel, REGDB_E_CLASSNOTREG, "desktop box"},
        {kAdmin, kAdmin, S_OK, "direct"}, // UAC off, or the built-in Administrator
        {kUser, kAdmin, S_FALSE, "desktop"},
        {kAdminMedium, kAdmin, S_OK, "desktop"},  // the unelevated half of the same user
        {kAdminNoLevel, kAdmin, S_OK, "desktop"}, // a level on one side only: not told
        {std::nullopt, kAdmin, E_FAIL, "desktop box"},
        {kAdminNoLevel, std::nullopt, S_OK, "desktop"}, // this program's token unread
    };
    for (const auto& [shell, self, desktop, expected] : cases) {
        std::string log;
        Launch last;
        ShellLaunch::Calls calls;
        calls.shellIdentity = [&] { return shell; };
        calls.ownIdentity = [&] { return self; };
        calls.shellExecute = [&](const Launch& l) { log += "direct", last = l; };
        calls.desktopShell = [&](const Launch& l) { return log += "desktop", last = l, desktop; };
        Seam<ShellLaunch::Calls>::Override fake(calls);
        if (!OpenDonationPage("DE"))
            log += " box";
        EXPECT_EQ(log, expected) << desktop;
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

// Opening OLE sets the process's COM security at once, before anything is marshalled: replies
// from the desktop shell (the unelevated side's) unmarshal through the system's code only, and
// the shell may identify this program but not act as it. Where the security cannot be set
// (something marshalled earlier), nothing goes to the desktop shell. Wine takes the security
// without keeping it: what is asked is what can be seen.
TEST(ShellLaunch, DesktopShellOnlyWithTheProcessComSecurity) {
    for (const HRESULT answer : {S_OK, RPC_E_TOO_LATE}) {
        g_secure = {answer, E_FAIL, 0, 0};
        OleApartment::Close();
        const Seam<OleApartment::Calls>::Override secure({&Secure});
        EXPECT_EQ(OleApartment::Open(), S_OK);
        EXPECT_EQ(g_secure.apartment, S_OK) << "the security came before OLE";
        EXPECT_EQ(std::pair(g_secure.capabilities & EOAC_NO_CUSTOM_MARSHAL, g_secure.impersonation),
                  std::pair(DWORD(EOAC_NO_CUSTOM_MARSHAL), DWORD(RPC_C_IMP_LEVEL_IDENTIFY)));
        if (FAILED(answer))
            EXPECT_EQ(ShellLaunch::ShellExecuteOnDesktop({"", "about:blank", "", "", 1}), answer);
        OleApartment::Close();
    }
}
