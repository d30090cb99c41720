#include "win32/WinVersion.h"

#include <windows.h>

std::optional<WinVersion> QueryWinVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info); // 148
    // GetVersionExA is deprecated for newer systems, but it is exactly what the platform checks
    // are written against (the manifest keeps newer systems reporting 6.x).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#elif defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    BOOL ok = ::GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (ok != 1)
        return std::nullopt;
    return WinVersion{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                      static_cast<std::int32_t>(info.dwBuildNumber)};
}
