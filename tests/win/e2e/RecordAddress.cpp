// Stands in for the web browser in the end-to-end tests: registered as the handler of http and
// https addresses, it writes the address it is given (second argument) to the file named first.
#include <windows.h>

#include <shellapi.h>

int main() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 2;
    char address[4096] = {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, address, sizeof(address), nullptr, nullptr);
    HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE && size > 0 &&
                    ::WriteFile(file, address, static_cast<DWORD>(size - 1), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    ::LocalFree(argv);
    return ok ? 0 : 1;
}
