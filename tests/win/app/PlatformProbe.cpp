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

UniqueSid Administrators() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid sid;
    ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                               0, 0, 0, 0, sid.put());
    return sid;
}

// Impersonates a copy of the process token in which the Administrators group is deny-only.
bool ImpersonateDenyOnlyAdministrators() {
    UniqueHandle process, restricted, impersonation;
    UniqueSid admins = Administrators();
    SID_AND_ATTRIBUTES disable{admins.get(), 0};
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put()) &&
           ::CreateRestrictedToken(process.get(), 0, 1, &disable, 0, nullptr, 0, nullptr,
                                   restricted.put()) &&
           ::DuplicateToken(restricted.get(), SecurityImpersonation, impersonation.put()) &&
           ::SetThreadToken(nullptr, impersonation.get());
}

bool ThreadHasToken() {
    UniqueHandle token;
    return ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != 0;
}

bool ThreadTokenAdministratorsDenyOnly() {
    UniqueHandle token;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()))
        return false;
    char buffer[8192];
    DWORD n = 0;
    if (!::GetTokenInformation(token.get(), TokenGroups, buffer, sizeof(buffer), &n))
        return false;
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer);
    UniqueSid admins = Administrators();
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (::EqualSid(groups->Groups[i].Sid, admins.get()))
            return (groups->Groups[i].Attributes & SE_GROUP_USE_FOR_DENY_ONLY) != 0;
    return false;
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

    Print("DenyOnly", ImpersonateDenyOnlyAdministrators() && ThreadTokenAdministratorsDenyOnly());
    Print("DenyOnlyIsAdmin", MCheckAdmin::IsAdmin());
    ::RevertToSelf();
    return 0;
}
