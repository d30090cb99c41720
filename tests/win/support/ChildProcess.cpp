#include "support/ChildProcess.h"

#include <set>

#include <tlhelp32.h>

#include "win32/Text.h"

namespace testsupport {

namespace {

// Wine maps the Unix root to drive Z:, so a build path from CMake works there too.
std::wstring WindowsPath(const std::string& path) {
    return Utf8ToWide(path.starts_with("/") ? "Z:" + path : path);
}

// The handle and id of the new process; Wine gives none for a Unix program.
PROCESS_INFORMATION Start(std::wstring commandLine, HANDLE output = nullptr) {
    STARTUPINFOW si{sizeof(si)};
    si.dwFlags = output ? STARTF_USESTDHANDLES : 0;
    si.hStdOutput = si.hStdError = output;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, output != nullptr, 0,
                         nullptr, nullptr, &si, &pi))
        ::CloseHandle(pi.hThread);
    return pi;
}

std::set<DWORD> ProcessesNamed(const std::wstring& name) {
    std::set<DWORD> pids;
    UniqueHandle all(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W e{sizeof(e)};
    for (BOOL ok = ::Process32FirstW(all.get(), &e); ok; ok = ::Process32NextW(all.get(), &e))
        if (_wcsicmp(e.szExeFile, name.c_str()) == 0)
            pids.insert(e.th32ProcessID);
    return pids;
}

} // namespace

ChildProcess::ChildProcess(const std::string& exe, const std::string& args) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueHandle outputWrite;
    ::CreatePipe(outputRead_.put(), outputWrite.put(), &inherit, 0);
    ::SetHandleInformation(outputRead_.get(), HANDLE_FLAG_INHERIT, 0);
    const std::wstring arguments = args.empty() ? L"" : L" " + Utf8ToWide(args);
    auto pi = Start(L"\"" + WindowsPath(exe) + L"\"" + arguments, outputWrite.get());
    process_.reset(pi.hProcess);
    pid_ = pi.dwProcessId;
}

ChildProcess ChildProcess::UnderWine(const std::string& exe, const Env& unixEnv) {
    std::wstring path = WindowsPath(exe), name = path.substr(path.find_last_of(L"/\\") + 1);
    std::set<DWORD> before = ProcessesNamed(name);
    std::string command = "Z:\\usr\\bin\\env";
    for (const auto& [variable, value] : unixEnv)
        command += " " + variable + "=" + value;
    UniqueHandle unused(Start(Utf8ToWide(command) + L" /usr/bin/wine \"" + path + L"\"").hProcess);
    ChildProcess child;
    for (int i = 0; i < 500 && !child.pid_; ++i, ::Sleep(20))
        for (DWORD pid : ProcessesNamed(name))
            if (!before.count(pid))
                child.pid_ = pid;
    child.process_.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                       FALSE, child.pid_));
    return child;
}

ChildProcess::~ChildProcess() {
    if (process_ && ::TerminateProcess(process_.get(), 99))
        ::WaitForSingleObject(process_.get(), 5000);
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    HANDLE process = process_.get(), pipe = outputRead_.get();
    DWORD start = ::GetTickCount(), code = 0;
    for (bool ended = !process; !ended && ::GetTickCount() - start < timeoutMs;) {
        ended = ::MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT) == WAIT_OBJECT_0;
        for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
            ::DispatchMessageW(&msg);
        // Drained while waiting so that a chatty child never blocks on a full pipe.
        char buffer[4096];
        for (DWORD n = 0; pipe && ::PeekNamedPipe(pipe, nullptr, 0, nullptr, &n, nullptr) &&
                          n > 0 && ::ReadFile(pipe, buffer, sizeof(buffer), &n, nullptr) && n > 0;)
            output_.append(buffer, n);
    }
    bool ended = process && ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    return ended && ::GetExitCodeProcess(process, &code) ? std::optional(code) : std::nullopt;
}

} // namespace testsupport
