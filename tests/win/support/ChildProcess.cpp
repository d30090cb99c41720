#include "ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <tlhelp32.h>

#include <set>
#include <utility>

#include "Text.h"

namespace testsupport {

namespace {

// The current environment with env's variables set (names compare without case).
std::wstring EnvironmentWith(const std::map<std::string, std::string>& env) {
    std::vector<std::wstring> vars;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (wchar_t* p = block; *p; p += wcslen(p) + 1)
            vars.emplace_back(p);
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : env) {
        std::wstring wname = Utf8ToWide(name) + L"=";
        std::erase_if(vars, [&](const std::wstring& v) {
            return v.size() >= wname.size() &&
                   _wcsnicmp(v.c_str(), wname.c_str(), wname.size()) == 0;
        });
        vars.push_back(wname + Utf8ToWide(value));
    }
    std::wstring out;
    for (const auto& v : vars)
        out += v + L'\0';
    return out + L'\0';
}

// Wine maps the Unix root to drive Z:, so a build path from CMake works there too.
std::wstring WindowsPath(const std::string& path) {
    std::wstring out = Utf8ToWide(path.starts_with("/") ? "Z:" + path : path);
    std::replace(out.begin(), out.end(), L'/', L'\\');
    return out;
}

std::set<DWORD> ProcessesNamed(const std::wstring& name) {
    std::set<DWORD> pids;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0)
            pids.insert(entry.th32ProcessID);
    ::CloseHandle(snapshot);
    return pids;
}

} // namespace

ChildProcess ChildProcess::UnderWine(const std::string& exe,
                                     const std::map<std::string, std::string>& unixEnv) {
    std::wstring path = WindowsPath(exe);
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    std::set<DWORD> before = ProcessesNamed(name);

    // Wine runs a Unix program named by a Z: path directly, without a process handle.
    std::wstring commandLine = L"Z:\\usr\\bin\\env";
    for (const auto& [variable, value] : unixEnv)
        commandLine += L" " + Utf8ToWide(variable) + L"=" + Utf8ToWide(value);
    commandLine += L" /usr/bin/wine \"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ChildProcess child;
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return child;
    if (pi.hProcess)
        ::CloseHandle(pi.hProcess);
    if (pi.hThread)
        ::CloseHandle(pi.hThread);

    for (int i = 0; i < 500 && !child.process_; ++i) {
        for (DWORD pid : ProcessesNamed(name)) {
            if (before.count(pid))
                continue;
            child.process_ = ::OpenProcess(
                SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
            child.pid_ = pid;
            break;
        }
        ::Sleep(20);
    }
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      outputRead_(std::exchange(other.outputRead_, nullptr)), pid_(std::exchange(other.pid_, 0)),
      output_(std::move(other.output_)) {}

ChildProcess::ChildProcess(const std::string& exe, const std::map<std::string, std::string>& env) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE outputWrite = nullptr;
    if (!::CreatePipe(&outputRead_, &outputWrite, &inherit, 0))
        return;
    ::SetHandleInformation(outputRead_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = outputWrite;
    si.hStdError = outputWrite;
    si.hStdInput = nullptr;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + WindowsPath(exe) + L"\"";
    std::wstring environment = EnvironmentWith(env);
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &si, &pi)) {
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        ::CloseHandle(pi.hThread);
    }
    ::CloseHandle(outputWrite);
}

ChildProcess::~ChildProcess() {
    if (process_) {
        if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_, 99);
            ::WaitForSingleObject(process_, 5000);
        }
        ::CloseHandle(process_);
    }
    if (outputRead_)
        ::CloseHandle(outputRead_);
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    if (!process_)
        return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool ended =
            ::MsgWaitForMultipleObjects(1, &process_, FALSE, 20, QS_ALLINPUT) == WAIT_OBJECT_0;
        // The child may talk to windows of this thread (activating one, for instance).
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        // Drained while waiting so that a chatty child never blocks on a full pipe.
        DWORD available = 0;
        while (outputRead_ &&
               ::PeekNamedPipe(outputRead_, nullptr, 0, nullptr, &available, nullptr) &&
               available > 0) {
            char buffer[4096];
            DWORD read = 0;
            if (!::ReadFile(outputRead_, buffer, sizeof(buffer), &read, nullptr) || read == 0)
                break;
            output_.append(buffer, read);
        }
        if (ended) {
            DWORD code = 0;
            ::GetExitCodeProcess(process_, &code);
            return code;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
    }
}

std::string ChildProcess::Output() {
    return output_;
}

WineVersionFor::WineVersionFor(const std::string& exeName, const std::string& version)
    : key_("Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &key, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>(version.size() + 1));
        ::RegCloseKey(key);
    }
}

WineVersionFor::~WineVersionFor() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                        &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueA(key, "Version");
    DWORD subkeys = 1, values = 1;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    // Only removed when nothing else was kept there.
    if (subkeys == 0 && values == 0)
        ::RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
}

} // namespace testsupport
