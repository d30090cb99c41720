// Writes "<parent's file name> <show state>" to the file named on its command line.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc < 2)
        return 2;
    const wchar_t* file = argv[1];
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    HANDLE all = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    DWORD parent = 0;
    for (BOOL ok = ::Process32FirstW(all, &e); ok; ok = ::Process32NextW(all, &e))
        if (e.th32ProcessID == ::GetCurrentProcessId())
            parent = e.th32ParentProcessID;
    const wchar_t* name = L"?";
    for (BOOL ok = ::Process32FirstW(all, &e); ok; ok = ::Process32NextW(all, &e))
        if (e.th32ProcessID == parent) {
            name = e.szExeFile;
            break;
        }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    ::GetStartupInfoW(&si);
    int show = si.dwFlags & STARTF_USESHOWWINDOW ? si.wShowWindow : -1;
    if (FILE* out = _wfopen(file, L"w")) {
        std::fwprintf(out, L"%ls %d", name, show);
        std::fclose(out);
    }
    ::CloseHandle(all);
    return 0;
}
