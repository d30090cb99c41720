// Prints the platform checks' answers as a row of 0/1 digits. The tests run it under each
// Windows version Wine can pretend to be, since the version is fixed per process.
#include <cstdio>

#include "win32/Handles.h"
#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"

int main() {
    using namespace MGetWinVer;
    UniqueHandle process, thread;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, process.put());
    std::printf("%d%d%d%d%d %d%d", IsWin2000(), IsWinXP(), IsWin2003(), IsWin2003R2(), IsVista(),
                MCheckAdmin::IsAdmin(), MCheckAdmin::TokenHoldsAdministrators(process.get()));
    // While impersonating, the thread's own token is the one judged.
    bool impersonating = ::ImpersonateSelf(SecurityImpersonation) &&
                         ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, thread.put());
    std::printf(" %d%d", impersonating, MCheckAdmin::IsAdmin());
    return 0;
}
