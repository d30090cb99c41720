#include "ChildProcess.h"

#include <algorithm>
#include <set>

#include <tlhelp32.h>

#include "Text.h"

namespace testsupport {

namespace {

// The current environment with env's variables set (names compare without case).
std::wstring EnvironmentWith(const Env& env) {
    std::wstring out;
    wchar_t* block = ::GetEnvironmentStringsW();
    for (wchar_t* p = block; *p; p += wcslen(p) + 1)
        if (std::none_of(env.begin(), env.end(), [p](const auto& v) {
                return _wcsnicmp(p, Utf8ToWide(v.first + "=").c_str(), v.first.size() + 1) == 0;
            }))
            out.append(p).push_back(L'\0');
    ::FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : env)
        out += Utf8ToWide(name + "=" + value) + L'\0';
    return out + L'\0';
}

// Wine maps the Unix root to drive Z:, so a build path from CMake works there too.
std::wstring WindowsPath(const std::string& path) {
    return Utf8ToWide(path.starts_with("/") ? "Z:" + path : path);
}

// The handle and id of the new process; Wine gives none for a Unix program.
PROCESS_INFORMATION Start(std::wstring commandLine, STARTUPINFOW si = {}, void* env = nullptr) {
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, si.hStdOutput != nullptr,
                         CREATE_UNICODE_ENVIRONMENT, env, nullptr, &si, &pi))
        ::CloseHandle(pi.hThread);
    return pi;
}

std::set<DWORD> ProcessesNamed(const std::wstring& name) {
    std::set<DWORD> pids;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0)
            pids.insert(entry.th32ProcessID);
    return pids;
}

} // namespace

ChildProcess::ChildProcess(const std::string& exe, const Env& env) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueHandle outputWrite;
    if (!::CreatePipe(outputRead_.put(), outputWrite.put(), &inherit, 0))
        return;
    ::SetHandleInformation(outputRead_.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = outputWrite.get();
    auto pi = Start(L"\"" + WindowsPath(exe) + L"\"", si, EnvironmentWith(env).data());
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
    for (int i = 0; i < 500 && !child.process_; ++i, ::Sleep(20))
        for (DWORD pid : ProcessesNamed(name))
            if (!before.count(pid) && !child.process_) {
                child.process_.reset(::OpenProcess(
                    SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
                child.pid_ = pid;
            }
    return child;
}

ChildProcess::~ChildProcess() {
    if (process_ && ::TerminateProcess(process_.get(), 99))
        ::WaitForSingleObject(process_.get(), 5000);
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    HANDLE process = process_.get(), pipe = outputRead_.get();
    DWORD start = ::GetTickCount(), available = 0, read = 0, code = 0;
    for (bool ended = !process; !ended && ::GetTickCount() - start < timeoutMs;) {
        ended = ::MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT) == WAIT_OBJECT_0;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        // Drained while waiting so that a chatty child never blocks on a full pipe.
        char buffer[4096];
        while (pipe && ::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) &&
               available > 0 && ::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) &&
               read > 0)
            output_.append(buffer, read);
    }
    if (process && ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process, &code))
        return code;
    return std::nullopt;
}

} // namespace testsupport
