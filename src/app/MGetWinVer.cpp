#include "app/MGetWinVer.h"

#include <windows.h>

namespace MGetWinVer {

namespace {

constexpr std::uint32_t kPlatformNt = 2;

template <typename Rule> bool Check(Rule rule) {
    auto v = QueryWinVersion();
    return v && rule(*v);
}

} // namespace

bool IsWin2000(const WinVersion& v) {
    return v.platformId == kPlatformNt && v.major == 5 && v.minor == 0 && v.build >= 2195;
}
bool IsWinXP(const WinVersion& v) {
    return v.platformId == kPlatformNt && v.major == 5 && v.minor == 1 && v.build >= 2600;
}
bool IsWin2003(const WinVersion& v) {
    return v.platformId == kPlatformNt && v.major == 5 && v.minor == 2 && v.build == 3790;
}
bool IsVista(const WinVersion& v) {
    return v.platformId == kPlatformNt && v.major == 6;
}

bool IsWin2000() {
    return Check([](const WinVersion& v) { return IsWin2000(v); });
}
bool IsWinXP() {
    return Check([](const WinVersion& v) { return IsWinXP(v); });
}
bool IsWin2003() {
    return Check([](const WinVersion& v) { return IsWin2003(v); });
}
bool IsVista() {
    return Check([](const WinVersion& v) { return IsVista(v); });
}

bool IsWin2003R2() {
    return IsWin2003() && ::GetSystemMetrics(SM_SERVERR2) != 0;
}

} // namespace MGetWinVer
