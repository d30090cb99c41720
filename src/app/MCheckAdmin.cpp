#include "app/MCheckAdmin.h"

#include <vector>

#include "app/MGetWinVer.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace MCheckAdmin {

namespace {

bool GroupsContain(const TOKEN_GROUPS& groups, PSID sid) {
    if (!::IsValidSid(sid))
        return false;
    // Attributes are not looked at: a deny-only or disabled membership still counts.
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        PSID member = groups.Groups[i].Sid;
        if (::IsValidSid(member) && ::EqualSid(member, sid))
            return true;
    }
    return false;
}

bool TokenHoldsAdministrators(const Calls& calls, HANDLE token) {
    DWORD needed = 0;
    calls.tokenInformation(token, TokenGroups, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    // DWORD-aligned storage for the structure at the start of the buffer.
    std::vector<DWORD_PTR> buffer((needed + sizeof(DWORD_PTR) - 1) / sizeof(DWORD_PTR));
    if (calls.tokenInformation(token, TokenGroups, buffer.data(), needed, &needed) != 1)
        return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    if (::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                   DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                   administrators.put()) != 1)
        return false;
    return GroupsContain(*reinterpret_cast<const TOKEN_GROUPS*>(buffer.data()),
                         administrators.get());
}

} // namespace

bool IsAdmin() {
    if (MGetWinVer::IsVista())
        return true;
    const Calls calls = Seam<Calls>::Current();
    // An impersonating thread is judged by the identity it has taken on.
    UniqueHandle token;
    if (!calls.openThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
        !calls.openProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    if (!token)
        return false;
    return TokenHoldsAdministrators(calls, token.get());
}

} // namespace MCheckAdmin
