// Writes "<parent's file name> <show state>" and its further arguments to the file named first on
// its command line: started through the shell, it shows who started it and with what.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    HANDLE all = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{sizeof(PROCESSENTRY32W)};
    DWORD parent = 0;
    for (BOOL ok = ::Process32FirstW(all, &e); ok && !parent; ok = ::Process32NextW(all, &e))
        parent = e.th32ProcessID == ::GetCurrentProcessId() ? e.th32ParentProcessID : 0;
    BOOL ok = ::Process32FirstW(all, &e);
    while (ok && e.th32ProcessID != parent)
        ok = ::Process32NextW(all, &e);
    STARTUPINFOW si{};
    ::GetStartupInfoW(&si);
    FILE* out = argc >= 2 ? _wfopen(argv[1], L"w") : nullptr;
    if (out)
        std::fwprintf(out, L"%ls %d", ok ? e.szExeFile : L"?",
                      si.dwFlags & STARTF_USESHOWWINDOW ? si.wShowWindow : -1);
    for (int i = 2; out && i < argc; ++i)
        std::fwprintf(out, L" %ls", argv[i]);
    return out && std::fclose(out) == 0 ? 0 : 1;
}
