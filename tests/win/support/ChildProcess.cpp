#include "support/ChildProcess.h"

#include <fstream>
#include <set>
#include <sstream>

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

ChildProcess ChildProcess::UnderWine(const std::string& exe, const Env& unixEnv,
                                     const std::string& args) {
    const std::wstring name = Utf8ToWide(exe.substr(exe.find_last_of("/\\") + 1));
    const std::set<DWORD> before = ProcessesNamed(name);
    ChildProcess child;
    static int runs = 0;
    child.outputFile_ = "/tmp/tavelin-child-" + std::to_string(::GetCurrentProcessId()) + "-" +
                        std::to_string(++runs);
    ::DeleteFileW(WindowsPath(child.outputFile_).c_str());
    // Wine gives no handle for a Unix program: the shell writes the exit code after the output.
    std::string command = "Z:\\bin\\sh -c \"";
    for (const auto& [variable, value] : unixEnv)
        command += variable + "=" + value + " ";
    command += "/usr/bin/wine '" + exe + "' " + args + " >" + child.outputFile_ +
               " 2>&1; echo EXIT=$? >>" + child.outputFile_ + "\"";
    UniqueHandle unused(Start(Utf8ToWide(command)).hProcess);
    for (int i = 0; i < 500 && !child.pid_ && !child.ExitCode(); ++i, ::Sleep(20))
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
    if (!outputFile_.empty())
        ::DeleteFileW(WindowsPath(outputFile_).c_str());
}

std::optional<DWORD> ChildProcess::ExitCode() {
    DWORD code = 0;
    if (outputFile_.empty())
        return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0 &&
                       ::GetExitCodeProcess(process_.get(), &code)
                   ? std::optional(code)
                   : std::nullopt;
    std::ifstream in(WideToUtf8(WindowsPath(outputFile_)), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const std::size_t exit = all.rfind("EXIT=");
    if (exit == std::string::npos || !all.ends_with("\n"))
        return std::nullopt;
    output_ = all.substr(0, exit);
    return std::stoul(all.substr(exit + 5));
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    HANDLE process = process_.get(), pipe = outputRead_.get();
    for (DWORD start = ::GetTickCount();;) {
        const std::optional<DWORD> code = ExitCode(); // before the last read: no output lost
        for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
            ::DispatchMessageW(&msg);
        // Drained while waiting so that a chatty child never blocks on a full pipe.
        char buffer[4096];
        for (DWORD n = 0; pipe && ::PeekNamedPipe(pipe, nullptr, 0, nullptr, &n, nullptr) &&
                          n > 0 && ::ReadFile(pipe, buffer, sizeof(buffer), &n, nullptr) && n > 0;)
            output_.append(buffer, n);
        if (code || ::GetTickCount() - start >= timeoutMs)
            return code;
        ::MsgWaitForMultipleObjects(process ? 1 : 0, &process, FALSE, 20, QS_ALLINPUT);
    }
}

} // namespace testsupport
