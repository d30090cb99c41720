// Where the program's DLLs may be loaded from. An elevated program started from a download
// folder must not load a DLL planted beside it: only the system folder is searched.
#pragma once

#include <windows.h>

namespace MDllSearch {

// What RestrictDllSearch achieved, strongest first.
enum class Restriction { SystemFolderOnly, NoCurrentFolder, None };

// Finds a kernel32 function by name; nullptr when this Windows lacks it.
FARPROC FromKernel32(const char* name);

// What the restriction asks of Windows (Seam<MDllSearch::Calls>); a default-constructed table
// holds the real lookup. Tests play systems that lack one function or both.
struct Calls {
    FARPROC (*lookup)(const char* name) = &FromKernel32;
};

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where it exists (Windows 8, or 7 and
// Vista with the update), else SetDllDirectoryW(L"") (XP SP1 and later: at least the current
// folder is no longer searched). Both are looked up at run time, so that the program still
// starts on Windows 2000.
Restriction RestrictDllSearch();

} // namespace MDllSearch
