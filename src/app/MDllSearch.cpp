#include "app/MDllSearch.h"

#include "win32/Seam.h"

namespace MDllSearch {

namespace {

// Declared here: the headers the program builds with may predate these functions.
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

template <typename F> F As(FARPROC proc) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

} // namespace

FARPROC FromKernel32(const char* name) {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? ::GetProcAddress(kernel32, name) : nullptr;
}

Restriction RestrictDllSearch() {
    const auto lookup = Seam<Calls>::Current().lookup;
    if (auto set = As<SetDefaultDllDirectoriesFn>(lookup("SetDefaultDllDirectories"));
        set && set(kLoadLibrarySearchSystem32))
        return Restriction::SystemFolderOnly;
    if (auto set = As<SetDllDirectoryWFn>(lookup("SetDllDirectoryW")); set && set(L""))
        return Restriction::NoCurrentFolder;
    return Restriction::None;
}

} // namespace MDllSearch
