#include "win32/CConsoleOutput.h"

#include <string>

#include "win32/MText.h"

namespace {

// AttachConsole arrived with Windows XP. A process that has a console already (Wine gives a
// window program its starter's) is refused with ERROR_ACCESS_DENIED: it may write there as well.
bool AttachParentConsole() {
    using AttachConsoleFn = BOOL(WINAPI*)(DWORD);
    const auto attach = reinterpret_cast<AttachConsoleFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "AttachConsole")));
    constexpr DWORD kParentProcess = static_cast<DWORD>(-1); // ATTACH_PARENT_PROCESS
    return attach && (attach(kParentProcess) || ::GetLastError() == ERROR_ACCESS_DENIED);
}

} // namespace

CConsoleOutput::CConsoleOutput() {
    // Read before attaching, which may set missing standard handles to the console.
    HANDLE standard = ::GetStdHandle(STD_OUTPUT_HANDLE);
    // Also for redirected output: the console tells the code page its reader expects.
    const bool attached = AttachParentConsole();
    DWORD mode = 0;
    // A GUI program has a valid handle only when its starter passed one.
    if (standard && standard != INVALID_HANDLE_VALUE &&
        ::GetFileType(standard) != FILE_TYPE_UNKNOWN) {
        handle_ = standard;
        console_ = ::GetConsoleMode(standard, &mode) != 0;
    }
    if (!handle_ && attached) {
        conout_.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
        if (conout_) {
            handle_ = conout_.get();
            console_ = true;
        }
    }
    codePage_ = ::GetConsoleOutputCP();
    if (codePage_ == 0)
        codePage_ = ::GetOEMCP();
}

void CConsoleOutput::Line(std::string_view utf8) {
    Write(std::string(utf8) + "\r\n");
}

void CConsoleOutput::Write(std::string_view utf8) {
    if (!handle_ || utf8.empty())
        return;
    const std::wstring wide = MText::Utf8ToWide(utf8);
    DWORD done = 0;
    if (console_) {
        // UTF-16 straight to the console: every character shows, whatever its code page.
        ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
        return;
    }
    const int n = ::WideCharToMultiByte(codePage_, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(codePage_, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                          nullptr, nullptr);
    ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}
