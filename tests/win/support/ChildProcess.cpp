#include "support/ChildProcess.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include <tlhelp32.h>

#include "support/MsgBoxWatcher.h"
#include "win32/MText.h"

namespace testsupport {

namespace {

std::set<DWORD> ProcessesNamed(const std::wstring& name) {
    std::set<DWORD> pids;
    UniqueHandle all(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W e{sizeof(e)};
    for (BOOL ok = ::Process32FirstW(all.get(), &e); ok; ok = ::Process32NextW(all.get(), &e))
        if (_wcsicmp(e.szExeFile, name.c_str()) == 0)
            pids.insert(e.th32ProcessID);
    return pids;
}

// Wine's loader for exe's architecture. The 32-bit one, given a 64-bit program, hands it on
// through start.exe /exec: a second process that bears the program's name until it becomes
// start.exe, and that the search by name below could take for the program.
std::string LoaderFor(const std::string& exe) {
    DWORD type = 0;
    const bool amd64 = ::GetBinaryTypeA(("Z:" + exe).c_str(), &type) && type == SCS_64BIT_BINARY;
    return amd64 && ::GetFileAttributesA("Z:\\usr\\lib\\wine\\wine64") != INVALID_FILE_ATTRIBUTES
               ? "/usr/lib/wine/wine64"
               : "/usr/bin/wine";
}

} // namespace

std::string ConsoleText() {
    UniqueHandle out(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ::GetConsoleScreenBufferInfo(out.get(), &info);
    std::wstring text(static_cast<std::size_t>(info.dwSize.X) * info.dwSize.Y, L' ');
    DWORD read = 0;
    ::ReadConsoleOutputCharacterW(out.get(), text.data(), static_cast<DWORD>(text.size()), {0, 0},
                                  &read);
    text.resize(read);
    text.erase(text.find_last_not_of(L' ') + 1);
    return MText::WideToUtf8(text);
}

ChildProcess::ChildProcess(const std::string& exe, const std::string& args, const Env& unixEnv) {
    const std::wstring name = MText::Utf8ToWide(exe.substr(exe.find_last_of('/') + 1));
    const std::set<DWORD> before = ProcessesNamed(name);
    // Beside this test program, which Wine maps from the Unix root to drive Z:. Wine gives no
    // handle for a Unix program: the shell writes the exit code after the output.
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string file = std::string(self).substr(2);
    std::replace(file.begin(), file.end(), '\\', '/');
    static int runs = 0;
    file += "-child-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++runs);
    outputFile_ = "Z:" + file;
    ::DeleteFileA(outputFile_.c_str());
    std::string command = "Z:\\bin\\sh -c \"";
    for (const auto& [variable, value] : unixEnv)
        command += "export " + variable + "=" + value + "; ";
    command += "{ " + (exe.empty() ? "" : LoaderFor(exe) + " '" + exe + "'");
    for (char c : " " + args)
        command += c == '"' ? std::string("\\\"") : std::string(1, c);
    command += "; } >" + file + " 2>&1; echo EXIT=$? >>" + file + "\"";
    std::wstring commandLine = MText::Utf8ToWide(command);
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                     &pi);
    const UniqueHandle shell(pi.hProcess), shellThread(pi.hThread);
    for (DWORD i = 0; i < Scaled(500) && !name.empty() && !pid_ && !ExitCode(); ++i) {
        for (DWORD pid : ProcessesNamed(name))
            if (!before.count(pid))
                pid_ = pid;
        ::Sleep(20);
    }
    process_.reset(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid_));
}

ChildProcess::~ChildProcess() {
    if (process_ && ::TerminateProcess(process_.get(), 99))
        ::WaitForSingleObject(process_.get(), 5000);
    if (!outputFile_.empty())
        ::DeleteFileA(outputFile_.c_str());
}

std::optional<DWORD> ChildProcess::ExitCode() {
    std::ifstream in(outputFile_, std::ios::binary);
    const std::string all(std::istreambuf_iterator<char>(in), {});
    const std::size_t exit = all.rfind("EXIT=");
    if (exit == std::string::npos || !all.ends_with("\n"))
        return std::nullopt;
    output_ = all.substr(0, exit);
    return std::stoul(all.substr(exit + 5));
}

bool HandleMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    for (DWORD start = ::GetTickCount(); !done();) {
        if (::GetTickCount() - start >= Scaled(timeoutMs))
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
            ::DispatchMessageW(&msg);
    }
    return true;
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    std::optional<DWORD> code;
    HandleMessagesUntil([&] { return (code = ExitCode()).has_value(); }, timeoutMs);
    return code;
}

} // namespace testsupport
