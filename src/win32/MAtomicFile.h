// Writes a whole file or nothing, safely also in a folder that a less privileged user can write
// (a user's folder, C:\Users\Public, a share) while this process runs as administrator: no link
// on the way or at the target is followed, the temporary file has an unpredictable name, is made
// in the held folder (not by its path, which a link could redirect) and is reached only through
// its handle; until it takes the place of a file it is open to Administrators and SYSTEM only,
// and a replaced file keeps its owner and access list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace MAtomicFile {

// NtSetInformationFile with a system error code for its status: renames and deletes through a
// handle on every NT system.
DWORD SetInformation(HANDLE file, void* information, ULONG size, ULONG infoClass);

// NtCreateFile with a system error code for its status: a new file named name in the folder
// whose handle is given, with the descriptor security (nullptr: what the folder passes on).
DWORD CreateInFolder(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security,
                     HANDLE* file);

// What the writer asks of Windows (Seam<MAtomicFile::Calls>).
struct Calls {
    decltype(&::CreateFileW) createFile = &::CreateFileW;
    decltype(&CreateInFolder) createInFolder = &CreateInFolder;
    decltype(&::GetFileInformationByHandle) fileInformation = &::GetFileInformationByHandle;
    decltype(&::SetKernelObjectSecurity) setSecurity = &::SetKernelObjectSecurity;
    decltype(&SetInformation) setInformation = &SetInformation;
};

// Writes bytes to a new file beside path and moves it over path. On failure path is as it was
// and nothing is left beside it; the result is then the system error code.
std::optional<std::uint32_t> Write(const std::wstring& path, std::span<const std::uint8_t> bytes);

} // namespace MAtomicFile
