// The file writer in a folder that another user can write: a real folder, real hard links
// planted by a stand-in for that user between the writer's steps, real access lists. What Wine
// lacks (reparse points, owners, the restore privilege's effect) is reported through the seam.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <fstream>
#include <functional>
#include <vector>

#include "win32/AtomicFile.h"
#include "win32/Seam.h"
#include "win32/Text.h"

namespace {

using Calls = AtomicFile::Calls;

std::wstring Temp(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return temp + std::wstring(name);
}
const std::wstring kDir = Temp(L"tavelin-atomic"), kFolder = kDir + L"\\share",
                   kTarget = kFolder + L"\\keys.reg", kGuarded = kDir + L"\\guarded.txt";
const std::string kSecret = "secret";
const std::uint8_t kNew[] = {'n', 'e', 'w'};

std::string Content(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<none>";
}
void Put(const std::wstring& path, const std::string& text) {
    std::ofstream(path.c_str(), std::ios::binary) << text;
}
// The files in the folder.
std::vector<std::wstring> Files() {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((kFolder + L"\\*").c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(kFolder + L"\\" + found.cFileName);
    ::FindClose(find);
    return files;
}
std::wstring Dacl(const std::wstring& path) {
    char sd[4096];
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd, sizeof sd, &size) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"?";
    const std::wstring dacl = text;
    ::LocalFree(text);
    return dacl;
}
bool RestorePrivilegeEnabled() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    ::LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    ::PrivilegeCheck(token, &set, &enabled);
    ::CloseHandle(token);
    return enabled;
}

// The stand-in for the user who can write the folder: before each step of the writer, any name
// it can delete there becomes a hard link to the guarded file, and the temporary file's name is
// taken once before the writer creates it.
struct Adversary {
    static inline bool active = false, planted = false;
    static inline std::wstring temp;
    static void Swap(const std::wstring& name) {
        if (!name.empty() && (::DeleteFileW(name.c_str()) || ::GetLastError() == 2))
            ::CreateHardLinkW(name.c_str(), kGuarded.c_str(), nullptr);
    }
    static void Act() {
        if (active)
            Swap(kTarget), Swap(temp);
    }
};

// Reports a reparse point for one file or folder, from its nth query on.
struct FakeLink {
    static inline BY_HANDLE_FILE_INFORMATION link{};
    static inline int from = 0, seen = 0;
    static BOOL WINAPI Information(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
        if (!::GetFileInformationByHandle(file, info))
            return FALSE;
        if (info->nFileIndexLow == link.nFileIndexLow &&
            info->nFileIndexHigh == link.nFileIndexHigh && from && ++seen >= from)
            info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        return TRUE;
    }
};

HANDLE WINAPI CreateFileRaced(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE templ) {
    const bool mine = std::wstring_view(path).starts_with(kFolder + L"\\") && path != kTarget;
    if (mine && !Adversary::planted)
        Adversary::planted = ::CreateHardLinkW(path, kGuarded.c_str(), nullptr);
    Adversary::Act();
    HANDLE file = ::CreateFileW(path, access, share, sa, disposition, flags, templ);
    if (mine && file != INVALID_HANDLE_VALUE)
        Adversary::temp = path;
    return file;
}
DWORD SetInformationRaced(HANDLE file, void* information, ULONG size, ULONG infoClass) {
    Adversary::Act();
    return AtomicFile::SetInformation(file, information, size, infoClass);
}
DWORD RenameDenied(HANDLE file, void* information, ULONG size, ULONG infoClass) {
    return infoClass == 10 ? ERROR_ACCESS_DENIED
                           : AtomicFile::SetInformation(file, information, size, infoClass);
}
// Windows' rule, which Wine does not keep: another account becomes owner only with the
// restore privilege enabled.
BOOL WINAPI SetSecurityAsWindows(HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR sd) {
    if ((what & OWNER_SECURITY_INFORMATION) && !RestorePrivilegeEnabled()) {
        ::SetLastError(ERROR_INVALID_OWNER);
        return FALSE;
    }
    return ::SetKernelObjectSecurity(file, what, sd);
}

} // namespace

// Whatever the other user does between the steps, the writer replaces the target or leaves it
// as it was, never writes, moves or deletes anything else, and leaves nothing of its own behind.
// A link on the way, at the target or made of the emptied folder after its check is refused; a
// replaced file keeps its access list and (with the restore privilege, as Windows requires) its
// owner.
TEST(AtomicFile, WritesTheTargetOrNothingWhateverTheFolderHolds) {
    const std::wstring locked = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    struct Case {
        const char* name;
        std::function<void(Calls&)> fake;
        std::wstring link; // path reported as a reparse point
        int linkFrom;
        std::optional<std::uint32_t> error;
        std::string target;
    };
    const Case cases[] = {
        {"another user races every step",
         [](Calls& c) {
             Adversary::active = true;
             c.createFile = &CreateFileRaced, c.setInformation = &SetInformationRaced;
         },
         L"", 0, std::nullopt, "new"},
        {"the rename fails", [](Calls& c) { c.setInformation = &RenameDenied; }, L"", 0,
         ERROR_ACCESS_DENIED, "old"},
        {"a link on the way", {}, kDir, 1, ERROR_CANT_RESOLVE_FILENAME, "old"},
        {"the target is a link", {}, kTarget, 1, ERROR_CANT_RESOLVE_FILENAME, "old"},
        {"the folder became a link", {}, kFolder, 2, ERROR_CANT_RESOLVE_FILENAME, "old"},
        {"another owner", [](Calls& c) { c.setSecurity = &SetSecurityAsWindows; }, L"", 0,
         std::nullopt, "new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::CreateDirectoryW(kDir.c_str(), nullptr);
        ::CreateDirectoryW(kFolder.c_str(), nullptr);
        Put(kGuarded, kSecret);
        Put(kTarget, "old");
        // Locked down, the guarded file too: what a stand-in's link replaces keeps it as well.
        PSECURITY_DESCRIPTOR sd = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(locked.c_str(), SDDL_REVISION_1, &sd,
                                                               nullptr);
        for (const std::wstring& file : {kTarget, kGuarded})
            ::SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
        const std::wstring dacl = Dacl(kTarget);
        // A file made anew in the folder would have another list.
        Put(kFolder + L"\\fresh", "");
        ASSERT_NE(dacl, Dacl(kFolder + L"\\fresh"));
        ::DeleteFileW((kFolder + L"\\fresh").c_str());
        Adversary::active = Adversary::planted = false, Adversary::temp.clear();
        FakeLink::from = FakeLink::seen = 0;
        if (!c.link.empty()) {
            HANDLE h = ::CreateFileW(c.link.c_str(), 0, 7, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            ::GetFileInformationByHandle(h, &FakeLink::link);
            ::CloseHandle(h);
            FakeLink::from = c.linkFrom;
        }
        Calls calls;
        calls.fileInformation = &FakeLink::Information;
        if (c.fake)
            c.fake(calls);
        std::optional<std::uint32_t> error;
        {
            Seam<Calls>::Override fake(calls);
            error = AtomicFile::Write(kTarget, kNew);
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(Content(kTarget), c.target);
        EXPECT_EQ(Dacl(kTarget), dacl);
        EXPECT_EQ(Content(kGuarded), kSecret);
        // Nothing of the writer's besides the target (the stand-in's links may stay).
        for (const std::wstring& file : Files())
            EXPECT_TRUE(file == kTarget || Content(file) == kSecret) << WideToUtf8(file);
        EXPECT_FALSE(RestorePrivilegeEnabled());
        if (Adversary::active) {
            EXPECT_TRUE(Adversary::planted) << "the stand-in never took the temporary name";
        }
        for (const std::wstring& file : Files())
            ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(kFolder.c_str());
        ::DeleteFileW(kGuarded.c_str());
    }
}
