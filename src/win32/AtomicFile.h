// Writes a whole file or nothing, safely also in a folder that a less privileged user can write
// (a user's folder, C:\Users\Public, a share) while this process runs as administrator: no link
// on the way or at the target is followed, the temporary file has an unpredictable name and is
// reached only through its handle after its creation, and a replaced file keeps its owner and
// access list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace AtomicFile {

// NtSetInformationFile with a system error code for its status: renames and deletes through a
// handle on every NT system.
DWORD SetInformation(HANDLE file, void* information, ULONG size, ULONG infoClass);

// What the writer asks of Windows (Seam<AtomicFile::Calls>).
struct Calls {
    decltype(&::CreateFileW) createFile = &::CreateFileW;
    decltype(&::GetFileInformationByHandle) fileInformation = &::GetFileInformationByHandle;
    decltype(&::SetKernelObjectSecurity) setSecurity = &::SetKernelObjectSecurity;
    decltype(&SetInformation) setInformation = &SetInformation;
};

// Writes bytes to a new file beside path and moves it over path. On failure path is as it was
// and nothing is left beside it; the result is then the system error code.
std::optional<std::uint32_t> Write(const std::wstring& path, std::span<const std::uint8_t> bytes);

} // namespace AtomicFile
