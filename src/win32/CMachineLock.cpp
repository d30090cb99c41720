#include "win32/CMachineLock.h"

#include <string>
#include <vector>

#include "win32/CAdminsOnly.h"
#include "win32/Seam.h"

namespace {

// Creates the mutex or opens the one that exists. Anyone may create a global name first, with a
// descriptor of their choosing: an existing mutex counts only when Administrators or SYSTEM own
// it, which no one else can make them. A standard user who takes the name first makes the
// writers refuse, but never lets two of them write at once.
DWORD OpenLock(const std::wstring& name, UniqueHandle& out) {
    const AdminsAndSystem sids;
    CAdminsOnly security(MUTEX_ALL_ACCESS);
    if (!sids.admins || !sids.system || security.Error())
        return security.Error() ? security.Error() : ::GetLastError();
    out.reset(Seam<CMachineLock::Calls>::Current().createMutex(security.Attributes(), FALSE,
                                                               name.c_str()));
    if (!out)
        return ::GetLastError();
    DWORD size = 0;
    ::GetKernelObjectSecurity(out.get(), OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size ? size : 1);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetKernelObjectSecurity(out.get(), OWNER_SECURITY_INFORMATION, descriptor.data(), size,
                                   &size) ||
        !::GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted))
        return ::GetLastError();
    return sids.Trusted(owner) ? ERROR_SUCCESS : ERROR_INVALID_OWNER;
}

template <typename F> F As(FARPROC proc) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

// The private namespace functions (Vista on), all of them or none.
struct NamespaceFunctions {
    HANDLE(WINAPI* createBoundary)(LPCWSTR, ULONG) = nullptr;
    BOOL(WINAPI* addSid)(HANDLE*, PSID) = nullptr;
    void(WINAPI* deleteBoundary)(HANDLE) = nullptr;
    HANDLE(WINAPI* create)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR) = nullptr;
    HANDLE(WINAPI* open)(LPVOID, LPCWSTR) = nullptr;
    BOOLEAN(WINAPI* close)(HANDLE, ULONG) = nullptr;

    explicit NamespaceFunctions(FARPROC (*lookup)(const char*)) {
        createBoundary = As<decltype(createBoundary)>(lookup("CreateBoundaryDescriptorW"));
        addSid = As<decltype(addSid)>(lookup("AddSIDToBoundaryDescriptor"));
        deleteBoundary = As<decltype(deleteBoundary)>(lookup("DeleteBoundaryDescriptor"));
        create = As<decltype(create)>(lookup("CreatePrivateNamespaceW"));
        open = As<decltype(open)>(lookup("OpenPrivateNamespaceW"));
        close = As<decltype(close)>(lookup("ClosePrivateNamespace"));
    }
    bool Present() const {
        return createBoundary && addSid && deleteBoundary && create && open && close;
    }
};

// The namespace bounded by the Administrators group, made here or opened: only a token in which
// that group is enabled can make it, and its access list lets no one else open it. A namespace
// lives while a handle to it is open; one whose last holder let go meanwhile is made again.
DWORD OpenNamespace(const NamespaceFunctions& ns, HANDLE& out) {
    const AdminsAndSystem sids;
    constexpr ACCESS_MASK kDirectoryAllAccess = STANDARD_RIGHTS_REQUIRED | 0xF;
    CAdminsOnly security(kDirectoryAllAccess);
    if (!sids.admins || security.Error())
        return security.Error() ? security.Error() : ::GetLastError();
    HANDLE boundary = ns.createBoundary(CMachineLock::kNamespace, 0);
    if (!boundary)
        return ::GetLastError();
    DWORD error = ns.addSid(&boundary, sids.admins.get()) ? ERROR_SUCCESS : ::GetLastError();
    for (int attempt = 0; error == ERROR_SUCCESS && !out && attempt < 8; ++attempt) {
        if ((out = ns.create(security.Attributes(), boundary, CMachineLock::kNamespace)))
            break;
        if ((error = ::GetLastError()) != ERROR_ALREADY_EXISTS)
            break;
        out = ns.open(boundary, CMachineLock::kNamespace);
        error = out ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)
            error = ERROR_SUCCESS; // gone meanwhile: made again
    }
    ns.deleteBoundary(boundary);
    return out ? ERROR_SUCCESS : error != ERROR_SUCCESS ? error : ERROR_PATH_NOT_FOUND;
}

} // namespace

FARPROC CMachineLock::Kernel32Function(const char* name) {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? ::GetProcAddress(kernel32, name) : nullptr;
}

CMachineLock::CMachineLock(const wchar_t* name, DWORD waitMs) {
    // The functions a system has decide, not the version it reports: every writer on one system
    // takes the same rule.
    const NamespaceFunctions ns(Seam<Calls>::Current().lookup);
    if (ns.Present()) {
        closeNamespace_ = ns.close;
        if ((error_ = OpenNamespace(ns, namespace_)) != ERROR_SUCCESS)
            return;
    }
    error_ = OpenLock(std::wstring(ns.Present() ? kNamespace : L"Global") + L"\\" + name, mutex_);
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

CMachineLock::~CMachineLock() {
    if (state_ == State::Held)
        ::ReleaseMutex(mutex_.get());
    mutex_.reset();
    if (namespace_)
        closeNamespace_(namespace_, 0);
}
