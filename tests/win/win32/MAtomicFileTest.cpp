// The file writer in a folder another user can write: real hard links planted between its steps,
// real access lists; what Wine lacks (reparse points, owners) comes through the seam.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "win32/CAdminsOnly.h"
#include "win32/MAtomicFile.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace {

namespace fs = std::filesystem;
using Calls = MAtomicFile::Calls;

const fs::path kDir = fs::temp_directory_path() / "tavelin-atomic", kFolder = kDir / "share",
               kTarget = kFolder / "keys.reg", kGuarded = kDir / "guarded.txt";
const std::uint8_t kNew[] = {'n', 'e', 'w'};

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
std::string Dacl(const fs::path& path) { // as stored
    std::string sd(4096, '\0');
    DWORD size = 0;
    ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), 4096, &size);
    return sd.substr(0, size);
}
// Whether an open file's access list admits Everyone (Wine keeps a list as the file's Unix mode).
bool OpenToEveryone(HANDLE file) {
    char sd[4096] = {};
    DWORD size = 0;
    LPSTR text = nullptr;
    ::GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, sd, sizeof sd, &size);
    ::ConvertSecurityDescriptorToStringSecurityDescriptorA(
        sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    const bool everyone = text && std::string_view(text).find(";;;WD)") != std::string_view::npos;
    ::LocalFree(text);
    return everyone;
}
bool RestorePrivilegeEnabled() {
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    ::LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    return ::PrivilegeCheck(token.get(), &set, &enabled) && enabled;
}

// What the fakes do and saw, set anew for each case.
struct {
    bool racing = false, planted = false; // the other user races; it took the writer's first name
    std::wstring temp = {};               // the temporary file, once made
    int linkFrom = 0, linkSeen = 0;       // link is reported a reparse point from query linkFrom
    BY_HANDLE_FILE_INFORMATION link{};
    std::string tempBefore = {}; // the temporary file's list before the replaced one's
    bool ownerAsWindows = false;
    bool unreadable = false; // the link's query fails instead
} g;

// The other user: before each step the target and the temporary file become hard links to the
// guarded file where it can delete them; the first name the writer creates is taken just before.
void Race() {
    for (const std::wstring& name : {kTarget.wstring(), g.temp})
        if (g.racing && !name.empty() && (::DeleteFileW(name.c_str()) || ::GetLastError() == 2))
            ::CreateHardLinkW(name.c_str(), kGuarded.c_str(), nullptr);
}
HANDLE WINAPI CreateRaced(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                          DWORD disposition, DWORD flags, HANDLE templ) {
    Race();
    return ::CreateFileW(path, access, share, sa, disposition, flags, templ);
}
DWORD CreateInFolderRaced(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR sd,
                          HANDLE* file) {
    const fs::path path = kFolder / name;
    if (!g.planted)
        g.planted = ::CreateHardLinkW(path.c_str(), kGuarded.c_str(), nullptr);
    Race();
    const DWORD error = MAtomicFile::CreateInFolder(folder, name, sd, file);
    g.temp = error == ERROR_SUCCESS ? path.wstring() : g.temp;
    return error;
}
DWORD SetRaced(HANDLE file, void* information, ULONG size, ULONG infoClass) {
    Race();
    return MAtomicFile::SetInformation(file, information, size, infoClass);
}
// Windows' owner rule, which Wine does not keep: another account only with the restore privilege.
BOOL WINAPI SetSecurityWatched(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR sd) {
    if (g.tempBefore.empty())
        g.tempBefore = OpenToEveryone(file) ? "open" : "locked";
    if (g.ownerAsWindows && (what & OWNER_SECURITY_INFORMATION) && !RestorePrivilegeEnabled()) {
        ::SetLastError(ERROR_INVALID_OWNER);
        return FALSE;
    }
    return ::SetKernelObjectSecurity(file, what, sd);
}
BOOL WINAPI NoSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                  DWORD, PSID*) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}
BOOL WINAPI InformationWithLink(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    const BOOL ok = ::GetFileInformationByHandle(file, info);
    if (!g.linkFrom || info->nFileIndexLow != g.link.nFileIndexLow ||
        info->nFileIndexHigh != g.link.nFileIndexHigh || ++g.linkSeen < g.linkFrom)
        return ok;
    if (g.unreadable) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return ok;
}

} // namespace

// Whatever the other user does, the target is replaced or left, nothing else touched or left
// behind; links on the way, at the target or made of the folder are refused, the temporary file
// is made in the held folder; it is open to Administrators and SYSTEM only until the replaced
// file's list is copied; a replaced file keeps list and owner, a new one the folder's.
TEST(MAtomicFile, WritesTheTargetOrNothingWhateverTheFolderHolds) {
    constexpr DWORD kLink = ERROR_CANT_RESOLVE_FILENAME;
    const Calls kRaced{.createFile = &CreateRaced,
                       .createInFolder = &CreateInFolderRaced,
                       .setInformation = &SetRaced};
    const struct {
        const char* what;
        Calls calls = {};
        fs::path link = {}; // reported as a link from its linkFrom-th query on
        int linkFrom = 0;
        bool ownerAsWindows = false, noTarget = false, unreadable = false, noLockDown = false;
        std::optional<std::uint32_t> error = std::nullopt; // the target then stays as it was
    } cases[] = {
        {.what = "another user races each step", .calls = kRaced},
        {.what = "a link on the way", .link = kDir, .linkFrom = 1, .error = kLink},
        {.what = "the target is a link", .link = kTarget, .linkFrom = 1, .error = kLink},
        {.what = "the target cannot be queried",
         .link = kTarget,
         .linkFrom = 1,
         .unreadable = true,
         .error = ERROR_ACCESS_DENIED},
        {.what = "the folder became a link", .link = kFolder, .linkFrom = 2, .error = kLink},
        {.what = "another owner", .ownerAsWindows = true},
        {.what = "no locked-down list", .noLockDown = true, .error = ERROR_NOT_ENOUGH_MEMORY},
        {.what = "a new file needs none", .noTarget = true, .noLockDown = true},
        {.what = "a new file", .noTarget = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(kFolder);
        std::ofstream(kGuarded, std::ios::binary) << "secret";
        std::ofstream(kTarget, std::ios::binary) << "old";
        // Locked down, the guarded file too: a link that replaced the target carries the same. A
        // new file gets what a file made in the folder gets.
        PSECURITY_DESCRIPTOR sd = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)",
                                                               SDDL_REVISION_1, &sd, nullptr);
        for (const fs::path& file : {kTarget, kGuarded})
            if (file != kTarget || !c.noTarget)
                ::SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
        const std::string dacl = Dacl(kTarget);
        if (c.noTarget)
            fs::remove(kTarget);
        g = {.racing = c.calls.setInformation == &SetRaced,
             .linkFrom = c.linkFrom,
             .ownerAsWindows = c.ownerAsWindows,
             .unreadable = c.unreadable};
        UniqueHandle linked(::CreateFileW(c.link.c_str(), 0, 7, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ::GetFileInformationByHandle(linked.get(), &g.link);
        linked.reset();
        Calls calls = c.calls;
        calls.fileInformation = &InformationWithLink;
        calls.setSecurity = &SetSecurityWatched;
        const Seam<Calls>::Override faked(calls);
        std::optional<Seam<CAdminsOnly::Calls>::Override> outOfMemory;
        if (c.noLockDown)
            outOfMemory.emplace(CAdminsOnly::Calls{&NoSid});
        EXPECT_EQ(MAtomicFile::Write(kTarget, kNew), c.error);
        EXPECT_EQ(Content(kTarget), c.error ? "old" : "new");
        EXPECT_EQ(Dacl(kTarget), dacl);
        EXPECT_EQ(Content(kGuarded), "secret");
        EXPECT_NE(g.tempBefore, "open") << "open to Everyone until the replaced file's list";
        EXPECT_EQ(g.planted, g.racing) << "the stand-in never took the temporary file's name";
        EXPECT_FALSE(RestorePrivilegeEnabled());
        // Nothing of the writer's is left beside the target (the stand-in's links may stay).
        for (const fs::directory_entry& file : fs::directory_iterator(kFolder))
            EXPECT_TRUE(file.path() == kTarget || Content(file.path()) == "secret") << file;
        std::error_code ignored;
        fs::remove_all(kDir, ignored);
    }
}

// A path by its form: a file in a drive's root and one named through "\\?\" are written; a
// device and a folder are refused, a share's is tried.
TEST(MAtomicFile, PathsByTheirForm) {
    const std::wstring inRoot = L"C:\\tavelin-atomic.reg";
    fs::create_directories(kFolder);
    EXPECT_EQ(MAtomicFile::Write(inRoot, kNew), std::nullopt);
    EXPECT_EQ(Content(inRoot), "new");
    EXPECT_EQ(MAtomicFile::Write(L"\\\\?\\" + kTarget.wstring(), kNew), std::nullopt);
    EXPECT_EQ(Content(kTarget), "new");
    EXPECT_EQ(MAtomicFile::Write(L"\\\\.\\C:\\tavelin-atomic.reg", kNew), ERROR_INVALID_NAME);
    // A share's path reaches the network (none here), not the refusal of a device's.
    EXPECT_NE(MAtomicFile::Write(L"\\\\tavelin-nowhere\\share\\a.reg", kNew), ERROR_INVALID_NAME);
    EXPECT_EQ(MAtomicFile::Write(kFolder.wstring() + L"\\", kNew), ERROR_INVALID_NAME);
    fs::remove(inRoot);
    std::error_code ignored;
    fs::remove_all(kDir, ignored);
}
