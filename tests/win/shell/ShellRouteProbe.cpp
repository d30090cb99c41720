// Prints "direct" or "desktop": the route the real version and token checks pick, with the
// launches themselves only recorded.
#include <cstdio>

#include "ShellLaunch.h"

int main() {
    ShellLaunch::Calls calls = ShellLaunch::RealCalls();
    const char* route = "none";
    calls.shellExecute = [&](const ShellLaunch::Launch&) { route = "direct"; };
    calls.desktopShell = [&](const ShellLaunch::Launch&) {
        route = "desktop";
        return S_OK;
    };
    ShellLaunch::ScopedCalls scoped(calls);
    ShellLaunch::Open({"", "https://example.org/", "", "", SW_SHOWNORMAL}, nullptr, "EN");
    std::printf("%s\n", route);
    return 0;
}
