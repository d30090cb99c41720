#include <gtest/gtest.h>

#include "system/MDonation.h"
#include "system/MShellLaunch.h"
#include "win32/Seam.h"

using MShellLaunch::Launch;

namespace {

const ProcessIdentity kAdmin{{1, 2, 5, 32}, 0x3000}, kUser{{1, 2, 5, 21}, 0x2000},
    kAdminMedium{kAdmin.user, 0x2000}, kAdminNoLevel{kAdmin.user, std::nullopt};

} // namespace

// The donation page starts from here only when the desktop shell runs as this program, else
// through the shell; when that fails the caller shows the address. (The address, its show state and
// the desktop route for real: E2e.KeysReachEveryControl.)
TEST(MShellLaunch, RouteByWhoRunsTheDesktopShell) {
    const struct {
        std::optional<ProcessIdentity> shell, self;
        HRESULT answer; // the desktop shell's
        const char* is; // what happened
    } cases[] = {
        // clang-format off
        {.shell = kAdminNoLevel, .self = kAdminNoLevel, .answer = S_OK,    .is = "direct"},
        {.shell = kUser,         .self = kAdmin,        .answer = S_FALSE, .is = "desktop"},
        {.shell = kAdminMedium,  .self = kAdmin,        .answer = S_OK,    .is = "desktop"},
        {.shell = kAdminNoLevel, .self = kAdmin,        .answer = S_OK,    .is = "desktop"},
        {.shell = std::nullopt,  .self = kAdmin,        .answer = E_FAIL,  .is = "desktop box"},
        {.shell = kAdminNoLevel, .self = std::nullopt,  .answer = S_OK,    .is = "desktop"},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::string log;
        const auto seen = [&](const char* route) {
            log += route;
            return c.answer;
        };
        const Seam<MShellLaunch::Calls>::Override fake({
            .shellIdentity = [&] { return c.shell; },
            .ownIdentity = [&] { return c.self; },
            .shellExecute = [&](const Launch&) { seen("direct"); },
            .desktopShell = [&](const Launch&) { return seen("desktop"); },
        });
        if (!MDonation::OpenPage("DE"))
            log += " box";
        EXPECT_EQ(log, c.is) << c.answer;
    }
}
