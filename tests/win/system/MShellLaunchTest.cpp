#include <gtest/gtest.h>

#include <fstream>

#include "system/MDonation.h"
#include "system/MShellLaunch.h"
#include "win32/MOleApartment.h"
#include "win32/Seam.h"

using MShellLaunch::Launch;

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
    g_secure.capabilities = capabilities;
    g_secure.impersonation = impersonation;
    return g_secure.answer;
}

} // namespace

// The donation page starts from here only when the desktop shell runs as this program, else
// through the shell; when that fails the caller shows the address. Always in a normal window.
TEST(MShellLaunch, RouteByWhoRunsTheDesktopShell) {
    const struct {
        std::optional<ProcessIdentity> shell, self;
        HRESULT answer; // the desktop shell's
        const char* is; // what happened
    } cases[] = {
        // Systems without levels.
        {.shell = kAdminNoLevel, .self = kAdminNoLevel, .answer = S_OK, .is = "direct"},
        {.shell = kUser, .self = kAdminNoLevel, .answer = REGDB_E_CLASSNOTREG, .is = "desktop box"},
        // UAC off, or the built-in Administrator.
        {.shell = kAdmin, .self = kAdmin, .answer = S_OK, .is = "direct"},
        {.shell = kUser, .self = kAdmin, .answer = S_FALSE, .is = "desktop"},
        // The unelevated half of the same user.
        {.shell = kAdminMedium, .self = kAdmin, .answer = S_OK, .is = "desktop"},
        // A level on one side only: not told.
        {.shell = kAdminNoLevel, .self = kAdmin, .answer = S_OK, .is = "desktop"},
        {.shell = std::nullopt, .self = kAdmin, .answer = E_FAIL, .is = "desktop box"},
        // This program's token unread.
        {.shell = kAdminNoLevel, .self = std::nullopt, .answer = S_OK, .is = "desktop"},
    };
    for (const auto& c : cases) {
        std::string log;
        Launch last;
        const auto seen = [&](const char* route, const Launch& l) {
            log += route;
            last = l;
            return c.answer;
        };
        const Seam<MShellLaunch::Calls>::Override fake({
            .shellIdentity = [&] { return c.shell; },
            .ownIdentity = [&] { return c.self; },
            .shellExecute = [&](const Launch& l) { seen("direct", l); },
            .desktopShell = [&](const Launch& l) { return seen("desktop", l); },
        });
        if (!MDonation::OpenPage("DE"))
            log += " box";
        EXPECT_EQ(log, c.is) << c.answer;
        EXPECT_EQ(last.showCommand, SW_SHOWNORMAL) << c.answer;
        EXPECT_EQ(last.operation, "") << c.answer;
        EXPECT_EQ(last.file, MDonation::Address("DE")) << c.answer;
    }
}

// The direct route for real, with the show state asked for.
TEST(MShellLaunch, RealDirectLaunchStartsFromHere) {
    char self[MAX_PATH] = {}, temp[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::GetTempPathA(MAX_PATH, temp);
    std::string witness = self, out = temp + std::string("tavelin_witness.txt");
    witness.replace(witness.rfind('\\') + 1, std::string::npos, "launch_witness.exe");
    ::DeleteFileA(out.c_str());
    MShellLaunch::ShellExecuteHere({"", witness, out, "", SW_SHOWNORMAL});
    std::string seen;
    for (int i = 0; i < 200 && seen.empty(); ++i) {
        ::Sleep(50);
        std::getline(std::ifstream(out), seen);
    }
    EXPECT_EQ(seen, "shell_tests.exe 1");
    ::DeleteFileA(out.c_str());
}

// Opening OLE sets the COM security first: the desktop shell's replies unmarshal through the
// system's code only, and it may identify this program but not act as it. Where that cannot be
// set, nothing goes to the desktop shell. (Wine does not keep it: what is asked is what is seen.)
TEST(MShellLaunch, DesktopShellOnlyWithTheProcessComSecurity) {
    for (const HRESULT answer : {S_OK, RPC_E_TOO_LATE}) {
        g_secure = {answer, E_FAIL, 0, 0};
        MOleApartment::Close();
        const Seam<MOleApartment::Calls>::Override secure({&Secure});
        EXPECT_EQ(MOleApartment::Open(), S_OK);
        EXPECT_EQ(g_secure.apartment, S_OK) << "the security came before OLE";
        EXPECT_TRUE(g_secure.capabilities & EOAC_NO_CUSTOM_MARSHAL);
        EXPECT_EQ(g_secure.impersonation, DWORD(RPC_C_IMP_LEVEL_IDENTIFY));
        if (FAILED(answer)) {
            EXPECT_EQ(MShellLaunch::ShellExecuteOnDesktop({"", "about:blank", "", "", 1}), answer);
        }
        MOleApartment::Close();
    }
}
