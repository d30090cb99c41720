#include "win32/CAdminsOnly.h"

#include "win32/Seam.h"

AdminsAndSystem::AdminsAndSystem() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                               0, 0, 0, 0, admins.put());
    ::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                               system.put());
}

CAdminsOnly::CAdminsOnly(ACCESS_MASK rights) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    const auto allocate = Seam<Calls>::Current().allocateSid;
    if (!allocate(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                  admins_.put()) ||
        !allocate(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, system_.put())) {
        error_ = ::GetLastError();
        return;
    }
    const DWORD aclSize = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) +
                          ::GetLengthSid(admins_.get()) + ::GetLengthSid(system_.get());
    acl_.resize(aclSize / sizeof(DWORD_PTR) + 1);
    const auto dacl = reinterpret_cast<PACL>(acl_.data());
    if (!::InitializeAcl(dacl, aclSize, ACL_REVISION) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, rights, system_.get()) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, rights, admins_.get()) ||
        !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor_, admins_.get(), FALSE) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        error_ = ::GetLastError();
}
