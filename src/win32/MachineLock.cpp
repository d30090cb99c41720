#include "win32/MachineLock.h"

#include <vector>

namespace {

// Administrators and SYSTEM: the only accounts the lock admits and the only owners it trusts.
struct TrustedSids {
    UniqueSid admins, system;
    TrustedSids() {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                   0, 0, 0, 0, 0, admins.put());
        ::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                   system.put());
    }
    bool Trusted(PSID owner) const {
        return owner && (::EqualSid(owner, admins.get()) || ::EqualSid(owner, system.get()));
    }
};

// Creates the mutex, owned by Administrators and with an access list of its own rather than the
// creating token's default (which on Windows 2000 and XP admits that account's other processes),
// or opens the one that exists. Anyone may
// create the name first, with a descriptor of their choosing: an existing mutex counts only when
// Administrators or SYSTEM own it, which no one else can make them. A standard user who takes the
// name first makes the writers refuse, but never lets two of them write at once.
DWORD OpenLock(const wchar_t* name, UniqueHandle& out) {
    const TrustedSids sids;
    if (!sids.admins || !sids.system)
        return ::GetLastError();
    const DWORD aceSize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    const DWORD aclSize = sizeof(ACL) + 2 * aceSize + ::GetLengthSid(sids.admins.get()) +
                          ::GetLengthSid(sids.system.get());
    std::vector<BYTE> acl(aclSize);
    const auto dacl = reinterpret_cast<PACL>(acl.data());
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeAcl(dacl, aclSize, ACL_REVISION) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, MUTEX_ALL_ACCESS, sids.system.get()) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, MUTEX_ALL_ACCESS, sids.admins.get()) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&descriptor, sids.admins.get(), FALSE) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE))
        return ::GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    out.reset(::CreateMutexW(&attributes, FALSE, name));
    if (!out)
        return ::GetLastError();
    DWORD size = 0;
    ::GetKernelObjectSecurity(out.get(), OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> security(size ? size : 1);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetKernelObjectSecurity(out.get(), OWNER_SECURITY_INFORMATION, security.data(), size,
                                   &size) ||
        !::GetSecurityDescriptorOwner(security.data(), &owner, &defaulted))
        return ::GetLastError();
    return sids.Trusted(owner) ? ERROR_SUCCESS : ERROR_INVALID_OWNER;
}

} // namespace

MachineLock::MachineLock(const wchar_t* name, DWORD waitMs) {
    error_ = OpenLock(name, mutex_);
    if (error_ != ERROR_SUCCESS)
        return;
    switch (::WaitForSingleObject(mutex_.get(), waitMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended midway; the holder's checks see what it left
        state_ = State::Held;
        break;
    case WAIT_TIMEOUT:
        state_ = State::Busy;
        break;
    default:
        error_ = ::GetLastError();
        break;
    }
}

MachineLock::~MachineLock() {
    if (state_ == State::Held)
        ::ReleaseMutex(mutex_.get());
}
