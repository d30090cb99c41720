// The file writer in a folder another user can write: real hard links planted between its steps,
// real access lists; what Wine lacks (reparse points, owners) comes through the seam.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>

#include "win32/AtomicFile.h"
#include "win32/Handles.h"
#include "win32/Seam.h"

namespace {

namespace fs = std::filesystem;
using Calls = AtomicFile::Calls;

const fs::path kDir = fs::temp_directory_path() / "tavelin-atomic", kFolder = kDir / "share",
               kTarget = kFolder / "keys.reg", kGuarded = kDir / "guarded.txt";
const std::uint8_t kNew[] = {'n', 'e', 'w'};

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
// The access list as stored.
std::string Dacl(const fs::path& path) {
    std::string sd(4096, '\0');
    DWORD size = 0;
    ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), 4096, &size);
    return sd.substr(0, size);
}
bool RestorePrivilegeEnabled() {
    UniqueHandle token;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    ::LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    return ::PrivilegeCheck(token.get(), &set, &enabled) && enabled;
}

// The other user: before each step the target and the temporary file become hard links to the
// guarded file where it can delete them; the first name the writer creates is taken just before.
bool g_racing = false, g_planted = false;
std::wstring g_temp;
void Race() {
    for (const std::wstring& name : {kTarget.wstring(), g_temp})
        if (g_racing && !name.empty() && (::DeleteFileW(name.c_str()) || ::GetLastError() == 2))
            ::CreateHardLinkW(name.c_str(), kGuarded.c_str(), nullptr);
}
HANDLE WINAPI CreateRaced(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                          DWORD disposition, DWORD flags, HANDLE templ) {
    const bool temp = fs::path(path).parent_path() == kFolder && path != kTarget;
    if (temp && !g_planted)
        g_planted = ::CreateHardLinkW(path, kGuarded.c_str(), nullptr);
    Race();
    HANDLE file = ::CreateFileW(path, access, share, sa, disposition, flags, templ);
    g_temp = temp && file != INVALID_HANDLE_VALUE ? path : g_temp;
    return file;
}
DWORD SetRaced(HANDLE file, void* information, ULONG size, ULONG infoClass) {
    Race();
    return AtomicFile::SetInformation(file, information, size, infoClass);
}
DWORD RenameDenied(HANDLE file, void* information, ULONG size, ULONG infoClass) {
    return infoClass == 10 ? ERROR_ACCESS_DENIED
                           : AtomicFile::SetInformation(file, information, size, infoClass);
}
// Windows' rule, which Wine does not keep: another account becomes owner only with the restore
// privilege enabled.
BOOL WINAPI SetSecurityAsWindows(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR sd) {
    if ((what & OWNER_SECURITY_INFORMATION) && !RestorePrivilegeEnabled())
        return ::SetLastError(ERROR_INVALID_OWNER), FALSE;
    return ::SetKernelObjectSecurity(file, what, sd);
}
// Reports a reparse point for one file or folder from its nth query on (Wine makes none).
BY_HANDLE_FILE_INFORMATION g_link{};
int g_linkFrom = 0, g_linkSeen = 0;
BOOL WINAPI InformationWithLink(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    const BOOL ok = ::GetFileInformationByHandle(file, info);
    if (g_linkFrom && info->nFileIndexLow == g_link.nFileIndexLow &&
        info->nFileIndexHigh == g_link.nFileIndexHigh && ++g_linkSeen >= g_linkFrom)
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return ok;
}

} // namespace

// Whatever the other user does, the writer replaces the target or leaves it, touches nothing
// else and leaves nothing behind; a link on the way, at the target or made of the folder after its
// check is refused; a replaced file keeps its access list and (restore privilege) its owner.
TEST(AtomicFile, WritesTheTargetOrNothingWhateverTheFolderHolds) {
    enum Fake { kNone, kRace, kRenameDenied, kOwnerAsWindows };
    // The fake, what reports a link from its nth query on, the result, the target afterwards.
    const std::tuple<const char*, Fake, fs::path, int, std::optional<std::uint32_t>, std::string>
        cases[] = {
            {"another user races each step", kRace, {}, 0, std::nullopt, "new"},
            {"the rename fails", kRenameDenied, {}, 0, ERROR_ACCESS_DENIED, "old"},
            {"a link on the way", kNone, kDir, 1, ERROR_CANT_RESOLVE_FILENAME, "old"},
            {"the target is a link", kNone, kTarget, 1, ERROR_CANT_RESOLVE_FILENAME, "old"},
            {"the folder became a link", kNone, kFolder, 2, ERROR_CANT_RESOLVE_FILENAME, "old"},
            {"another owner", kOwnerAsWindows, {}, 0, std::nullopt, "new"},
        };
    for (const auto& [name, fake, link, linkFrom, error, content] : cases) {
        SCOPED_TRACE(name);
        fs::create_directories(kFolder);
        std::ofstream(kGuarded, std::ios::binary) << "secret";
        std::ofstream(kTarget, std::ios::binary) << "old";
        // Locked down, the guarded file too: a link that replaced the target carries the same.
        PSECURITY_DESCRIPTOR sd = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)",
                                                               SDDL_REVISION_1, &sd, nullptr);
        for (const fs::path& file : {kTarget, kGuarded})
            ::SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
        const std::string dacl = Dacl(kTarget);
        g_racing = fake == kRace, g_planted = false, g_temp.clear();
        g_linkFrom = linkFrom, g_linkSeen = 0;
        UniqueHandle linked(::CreateFileW(link.c_str(), 0, 7, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ::GetFileInformationByHandle(linked.get(), &g_link);
        linked.reset();
        Calls calls;
        calls.fileInformation = &InformationWithLink;
        if (fake == kRace)
            calls.createFile = &CreateRaced, calls.setInformation = &SetRaced;
        if (fake == kRenameDenied)
            calls.setInformation = &RenameDenied;
        if (fake == kOwnerAsWindows)
            calls.setSecurity = &SetSecurityAsWindows;
        std::optional<std::uint32_t> result;
        {
            Seam<Calls>::Override faked(calls);
            result = AtomicFile::Write(kTarget, kNew);
        }
        EXPECT_EQ(result, error);
        EXPECT_EQ(std::tuple(Content(kTarget), Dacl(kTarget), Content(kGuarded)),
                  std::tuple(content, dacl, "secret"));
        EXPECT_EQ(g_planted, g_racing) << "the stand-in never took the temporary file's name";
        EXPECT_FALSE(RestorePrivilegeEnabled());
        // Nothing of the writer's is left beside the target (the stand-in's links may stay).
        for (const fs::directory_entry& file : fs::directory_iterator(kFolder))
            EXPECT_TRUE(file.path() == kTarget || Content(file.path()) == "secret") << file;
        std::error_code ignored;
        fs::remove_all(kDir, ignored);
    }
}
