#include "win32/MOleApartment.h"

#include <ole2.h>

#include <vector>

#include "win32/Handles.h"
#include "win32/Seam.h"

namespace MOleApartment {

namespace {

bool g_tried = false;
HRESULT g_result = E_FAIL, g_secured = E_FAIL;

// Calls in from this program's user and SYSTEM only, as COM admits by default where the machine
// names no others.
HRESULT SetSecurity() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return HRESULT_FROM_WIN32(::GetLastError());
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<DWORD_PTR> user((size + sizeof(DWORD_PTR) - 1) / sizeof(DWORD_PTR) + 1);
    if (!size || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size))
        return HRESULT_FROM_WIN32(::GetLastError());
    const PSID self = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid system;
    if (!::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                    system.put()))
        return HRESULT_FROM_WIN32(::GetLastError());
    const DWORD aclSize = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(self) +
                          ::GetLengthSid(system.get());
    std::vector<DWORD_PTR> acl(aclSize / sizeof(DWORD_PTR) + 1);
    const auto dacl = reinterpret_cast<PACL>(acl.data());
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeAcl(dacl, aclSize, ACL_REVISION) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, COM_RIGHTS_EXECUTE, self) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, COM_RIGHTS_EXECUTE, system.get()) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor, self, FALSE) ||
        !::SetSecurityDescriptorGroup(&descriptor, self, FALSE) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE))
        return HRESULT_FROM_WIN32(::GetLastError());
    return Seam<Calls>::Current().secure(&descriptor, -1, nullptr, nullptr,
                                         RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IDENTIFY,
                                         nullptr, EOAC_NO_CUSTOM_MARSHAL, nullptr);
}

} // namespace

HRESULT Open() noexcept {
    if (!g_tried) {
        g_tried = true;
        g_result = ::OleInitialize(nullptr);
        if (SUCCEEDED(g_result))
            g_secured = SetSecurity();
    }
    return g_result;
}

HRESULT Secured() noexcept {
    return g_secured;
}

void Close() noexcept {
    if (g_tried && SUCCEEDED(g_result))
        ::OleUninitialize();
    g_tried = false;
    g_result = g_secured = E_FAIL;
}

} // namespace MOleApartment
