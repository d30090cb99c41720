// A security descriptor for an object the program makes where others can reach it: owned by
// Administrators, open to Administrators and SYSTEM only, inheriting nothing (not the creating
// token's default list, which on Windows 2000 and XP admits that account's other processes).
#pragma once

#include <windows.h>

#include <vector>

#include "win32/Handles.h"

// Administrators and SYSTEM: the only accounts admitted to what the program makes for itself, and
// the only owners trusted of what it finds there.
struct AdminsAndSystem {
    UniqueSid admins, system;
    AdminsAndSystem();
    bool Trusted(PSID owner) const {
        return owner && admins && system &&
               (::EqualSid(owner, admins.get()) || ::EqualSid(owner, system.get()));
    }
};

class CAdminsOnly {
  public:
    // rights: what both may do with the object.
    explicit CAdminsOnly(ACCESS_MASK rights);
    CAdminsOnly(const CAdminsOnly&) = delete;
    CAdminsOnly& operator=(const CAdminsOnly&) = delete;

    // What it asks of Windows (Seam<CAdminsOnly::Calls>): a test makes it fail.
    struct Calls {
        decltype(&::AllocateAndInitializeSid) allocateSid = &::AllocateAndInitializeSid;
    };

    // ERROR_SUCCESS, or the system error code that kept it from being built.
    DWORD Error() const { return error_; }
    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }
    PSECURITY_DESCRIPTOR Descriptor() { return &descriptor_; }

  private:
    UniqueSid admins_, system_;
    std::vector<DWORD_PTR> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{sizeof attributes_, &descriptor_, FALSE};
    DWORD error_ = ERROR_SUCCESS;
};
