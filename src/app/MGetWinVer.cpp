#include "app/MGetWinVer.h"

#include "win32/Seam.h"

namespace MGetWinVer {

namespace {

constexpr std::uint32_t kPlatformNt = 2;

template <typename Rule> bool Check(Rule rule) {
    const auto v = Seam<Calls>::Current().version();
    return v && v->platformId == kPlatformNt && rule(*v);
}

} // namespace

bool IsWin2000() {
    return Check(
        [](const WinVersion& v) { return v.major == 5 && v.minor == 0 && v.build >= 2195; });
}
bool IsWinXP() {
    return Check(
        [](const WinVersion& v) { return v.major == 5 && v.minor == 1 && v.build >= 2600; });
}
bool IsWin2003() {
    return Check(
        [](const WinVersion& v) { return v.major == 5 && v.minor == 2 && v.build == 3790; });
}
bool IsVista() {
    return Check([](const WinVersion& v) { return v.major == 6; });
}

bool IsWin2003R2() {
    return IsWin2003() && Seam<Calls>::Current().systemMetrics(SM_SERVERR2) != 0;
}

} // namespace MGetWinVer
