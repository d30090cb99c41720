// Which Windows version runs: each predicate asks the system afresh, nothing is cached.
#pragma once

#include "win32/WinVersion.h"

namespace MGetWinVer {

bool IsWin2000();
bool IsWinXP();
bool IsWin2003();
// Server 2003 R2: a 2003 system that also reports SM_SERVERR2.
bool IsWin2003R2();
// Any NT 6.x system (Vista, 7, and later systems that report 6.x to this program).
bool IsVista();

// The rules themselves, apart from the system call.
bool IsWin2000(const WinVersion& v);
bool IsWinXP(const WinVersion& v);
bool IsWin2003(const WinVersion& v);
bool IsVista(const WinVersion& v);

} // namespace MGetWinVer
