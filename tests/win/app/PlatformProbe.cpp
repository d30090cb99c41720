// Prints the platform checks' answers as name=0/1 lines. The tests run it under each Windows
// version Wine can pretend to be, since the version is fixed per process.
#include <windows.h>

#include <cstdio>

#include "Handles.h"
#include "MCheckAdmin.h"
#include "MGetWinVer.h"

namespace {

void Print(const char* name, bool value) {
    std::printf("%s=%d\n", name, value ? 1 : 0);
}

bool ThreadHasToken() {
    UniqueHandle token;
    return ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != 0;
}

} // namespace

int main() {
    Print("IsWin2000", MGetWinVer::IsWin2000());
    Print("IsWinXP", MGetWinVer::IsWinXP());
    Print("IsWin2003", MGetWinVer::IsWin2003());
    Print("IsWin2003R2", MGetWinVer::IsWin2003R2());
    Print("IsVista", MGetWinVer::IsVista());
    Print("IsAdmin", MCheckAdmin::IsAdmin());

    UniqueHandle process;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, process.put());
    Print("ProcessTokenAdmin", MCheckAdmin::TokenHoldsAdministrators(process.get()));

    Print("Impersonating", ::ImpersonateSelf(SecurityImpersonation) && ThreadHasToken());
    Print("ImpersonatingIsAdmin", MCheckAdmin::IsAdmin());
    ::RevertToSelf();
    return 0;
}
