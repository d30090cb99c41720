#include "win32/MAtomicFile.h"

#include <wincrypt.h>

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "win32/CAdminsOnly.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace MAtomicFile {

namespace {

const Calls& Api() {
    return Seam<Calls>::Current();
}

// The information classes and their records as NtSetInformationFile takes them; the headers
// of the oldest systems do not declare them.
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};
struct DispositionInformation {
    BOOLEAN deleteFile;
};
struct IoStatusBlock {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
// NtCreateFile's name and object attributes.
struct CountedName {
    USHORT length, maximumLength;
    PWSTR buffer;
};
struct ObjectAttributes {
    ULONG length;
    HANDLE rootDirectory;
    CountedName* objectName;
    ULONG attributes;
    PVOID securityDescriptor, securityQualityOfService;
};
constexpr ULONG kObjCaseInsensitive = 0x40, kFileCreate = 2, kFileNonDirectoryFile = 0x40,
                kFileSynchronousIoNonAlert = 0x20, kFileOpenReparsePoint = 0x200000;

// An ntdll function, found at run time, and the system error code for a status.
template <typename F> F Ntdll(const char* name) {
    static const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name)));
}
DWORD ErrorOf(LONG status) {
    using ErrorFn = ULONG(WINAPI*)(LONG);
    static const auto toError = Ntdll<ErrorFn>("RtlNtStatusToDosError");
    return status >= 0 ? ERROR_SUCCESS : toError ? toError(status) : ERROR_GEN_FAILURE;
}

constexpr SECURITY_INFORMATION kKeptSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

DWORD LastError() {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT; // a short write sets none
}

// Where the folders of a full path begin: after "C:\" or "\\server\share\", each also after
// "\\?\"; 0 for anything else (devices, volume names), which is not written to.
std::size_t RootLength(std::wstring_view full) {
    std::size_t at = 0;
    bool unc = false;
    if (full.starts_with(L"\\\\?\\")) {
        at = 4;
        const std::wstring_view rest = full.substr(4);
        if (rest.size() > 4 && ::towlower(rest[0]) == L'u' && ::towlower(rest[1]) == L'n' &&
            ::towlower(rest[2]) == L'c' && rest[3] == L'\\') {
            at = 8;
            unc = true;
        }
    } else if (full.starts_with(L"\\\\")) {
        if (full.starts_with(L"\\\\.\\"))
            return 0;
        at = 2;
        unc = true;
    }
    if (!unc) {
        const bool drive = full.size() >= at + 3 && full[at + 1] == L':' && full[at + 2] == L'\\';
        return drive ? at + 3 : 0;
    }
    const std::size_t server = full.find(L'\\', at);
    if (server == std::wstring_view::npos || server == at)
        return 0;
    const std::size_t share = full.find(L'\\', server + 1);
    return share == std::wstring_view::npos || share == server + 1 ? 0 : share + 1;
}

// Opens one folder of the path without following a link and keeps it from being renamed,
// removed or replaced while it is held (no sharing of deletion; the volume's root is shared
// fully, it cannot be renamed anyway).
DWORD PinFolder(const std::wstring& path, bool root, UniqueHandle& out) {
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (root ? FILE_SHARE_DELETE : 0);
    // Traverse is data access, so the sharing mode binds other openers.
    UniqueHandle folder(Api().createFile(
        path.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, sharing, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder)
        return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Api().fileInformation(folder.get(), &info))
        return ::GetLastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ERROR_CANT_RESOLVE_FILENAME;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_PATH_NOT_FOUND;
    out = std::move(folder);
    return ERROR_SUCCESS;
}

// The existing target's owner, group and access list, to be given to the file that replaces
// it; empty when there is no target. A link, a folder or a read-only file is not replaced
// (Windows refuses to move over a read-only file; asked first, so that no system differs).
DWORD TargetSecurity(const std::wstring& path, std::vector<BYTE>& security) {
    UniqueHandle target(Api().createFile(
        path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!target) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Api().fileInformation(target.get(), &info))
        return ::GetLastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ERROR_CANT_RESOLVE_FILENAME;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    DWORD size = 0;
    ::GetKernelObjectSecurity(target.get(), kKeptSecurity, nullptr, 0, &size);
    security.resize(size);
    if (size == 0 ||
        !::GetKernelObjectSecurity(target.get(), kKeptSecurity, security.data(), size, &size))
        return LastError();
    return ERROR_SUCCESS;
}

// "tvl" and 16 hex digits from the system's random source: no other program can know the name
// before the file exists.
DWORD RandomName(std::wstring& name) {
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return ::GetLastError();
    BYTE random[8] = {};
    const BOOL ok = ::CryptGenRandom(provider, sizeof random, random);
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    ::CryptReleaseContext(provider, 0);
    name = L"tvl";
    for (const BYTE b : random) {
        name += L"0123456789abcdef"[b >> 4];
        name += L"0123456789abcdef"[b & 15];
    }
    name += L".tmp";
    return error;
}

// A new file in the held folder, never an existing one or a link; a name that is taken is drawn
// again. It replaces a file: open to Administrators and SYSTEM only until it has the replaced
// one's list. It is new: what the folder passes on, which the finished file would get anyway.
DWORD CreateTemporary(HANDLE folder, bool replaces, UniqueHandle& out) {
    CAdminsOnly lockedDown(FILE_ALL_ACCESS);
    if (replaces && lockedDown.Error())
        return lockedDown.Error();
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::wstring name;
        if (const DWORD error = RandomName(name))
            return error;
        HANDLE file = nullptr;
        const DWORD error =
            Api().createInFolder(folder, name, replaces ? lockedDown.Descriptor() : nullptr, &file);
        if (error == ERROR_SUCCESS)
            return out.reset(file), ERROR_SUCCESS;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return error;
    }
    return ERROR_FILE_EXISTS;
}

// Another account as owner needs the restore privilege, which an administrator's token holds
// but has not enabled: enabled for this one call on the file's handle, then as it was.
DWORD SetSecurityAsRestorer(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR security) {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.put()))
        return ::GetLastError();
    TOKEN_PRIVILEGES enable{1, {{{}, SE_PRIVILEGE_ENABLED}}};
    if (!::LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &enable.Privileges[0].Luid))
        return ::GetLastError();
    TOKEN_PRIVILEGES previous{};
    DWORD size = 0;
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &enable, sizeof previous, &previous, &size))
        return ::GetLastError();
    DWORD error = ERROR_INVALID_OWNER; // the token lacks the privilege
    if (::GetLastError() == ERROR_SUCCESS)
        error = Api().setSecurity(file, what, security) ? ERROR_SUCCESS : LastError();
    ::AdjustTokenPrivileges(token.get(), FALSE, &previous, 0, nullptr, nullptr);
    return error;
}

// The replaced file's own descriptor, as it was, its list's protection from inheritance too:
// nothing is inherited or propagated anew.
DWORD KeepSecurity(HANDLE file, std::vector<BYTE>& security) {
    if (security.empty())
        return ERROR_SUCCESS;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(security.data(), &control, &revision))
        return LastError();
    const SECURITY_INFORMATION what =
        kKeptSecurity | (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION
                                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
    if (Api().setSecurity(file, what, security.data()))
        return ERROR_SUCCESS;
    const DWORD error = LastError();
    return error == ERROR_INVALID_OWNER ? SetSecurityAsRestorer(file, what, security.data())
                                        : error;
}

// Renames the open file to name inside folder, replacing what is there: resolved from the
// folder's handle, not from a path that could have changed.
DWORD MoveInto(HANDLE file, HANDLE folder, const std::wstring& name) {
    std::vector<BYTE> buffer(sizeof(RenameInformation) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<RenameInformation*>(buffer.data());
    rename->replaceIfExists = TRUE;
    rename->rootDirectory = folder;
    rename->fileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::memcpy(rename->fileName, name.data(), rename->fileNameLength);
    return Api().setInformation(file, buffer.data(), static_cast<ULONG>(buffer.size()),
                                kFileRenameInformation);
}

DWORD Fill(HANDLE file, std::span<const std::uint8_t> bytes) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !::FlushFileBuffers(file))
        return LastError();
    return ERROR_SUCCESS;
}

} // namespace

// Both are in ntdll of every NT system. SetFileInformationByHandle (Vista) wraps the first but
// resolves a new name against the current folder, not against a folder's handle; CreateFile knows
// only paths.
DWORD SetInformation(HANDLE file, void* information, ULONG size, ULONG infoClass) {
    using SetFn = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, ULONG);
    static const auto set = Ntdll<SetFn>("NtSetInformationFile");
    if (!set)
        return ERROR_PROC_NOT_FOUND;
    IoStatusBlock status{};
    return ErrorOf(set(file, &status, information, size, infoClass));
}

DWORD CreateInFolder(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security,
                     HANDLE* file) {
    using CreateFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*, IoStatusBlock*,
                                   LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
    static const auto create = Ntdll<CreateFn>("NtCreateFile");
    if (!create)
        return ERROR_PROC_NOT_FOUND;
    std::wstring buffer = name;
    CountedName counted{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(name.size() * sizeof(wchar_t)), buffer.data()};
    ObjectAttributes attributes{sizeof attributes,   folder,   &counted,
                                kObjCaseInsensitive, security, nullptr};
    IoStatusBlock status{};
    *file = nullptr;
    const LONG result = create(
        file, GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | SYNCHRONIZE,
        &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, 0, kFileCreate,
        kFileNonDirectoryFile | kFileSynchronousIoNonAlert | kFileOpenReparsePoint, nullptr, 0);
    return ErrorOf(result);
}

std::optional<std::uint32_t> Write(const std::wstring& path, std::span<const std::uint8_t> bytes) {
    std::wstring full(32768, L'\0');
    wchar_t* namePart = nullptr;
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &namePart);
    if (length == 0)
        return ::GetLastError();
    if (length >= full.size())
        return ERROR_FILENAME_EXCED_RANGE;
    if (!namePart || !*namePart)
        return ERROR_INVALID_NAME; // a folder, not a file
    const std::size_t nameAt = static_cast<std::size_t>(namePart - full.data());
    full.resize(length);
    const std::wstring name = full.substr(nameAt);
    const std::size_t root = RootLength(full);
    if (root == 0 || nameAt < root || name.find(L':') != std::wstring::npos)
        return ERROR_INVALID_NAME;

    // Every folder from the root down, held until the file is in place.
    std::vector<UniqueHandle> folders(1);
    if (const DWORD error = PinFolder(full.substr(0, root), true, folders.back()))
        return error;
    for (std::size_t at = root; at < nameAt;) {
        const std::size_t end = full.find(L'\\', at);
        if (end == at || end >= nameAt)
            return ERROR_INVALID_NAME;
        folders.emplace_back();
        if (const DWORD error = PinFolder(full.substr(0, end), false, folders.back()))
            return error;
        at = end + 1;
    }
    const HANDLE folder = folders.back().get();

    std::vector<BYTE> security;
    if (const DWORD error = TargetSecurity(full, security))
        return error;
    UniqueHandle file;
    if (const DWORD error = CreateTemporary(folder, !security.empty(), file))
        return error;
    // The file exists from here on; it goes, through its handle, unless it became the target.
    DWORD error = ERROR_SUCCESS;
    BY_HANDLE_FILE_INFORMATION info{};
    // An empty folder could have become a link since it was checked.
    if (!Api().fileInformation(folder, &info))
        error = ::GetLastError();
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        error = ERROR_CANT_RESOLVE_FILENAME;
    if (error == ERROR_SUCCESS)
        error = Fill(file.get(), bytes);
    if (error == ERROR_SUCCESS)
        error = KeepSecurity(file.get(), security);
    if (error == ERROR_SUCCESS)
        error = MoveInto(file.get(), folder, name);
    if (error != ERROR_SUCCESS) {
        DispositionInformation remove{TRUE};
        Api().setInformation(file.get(), &remove, sizeof remove, kFileDispositionInformation);
        return error;
    }
    return std::nullopt;
}

} // namespace MAtomicFile
