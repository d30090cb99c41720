#include "system/MShutdown.h"

#include <algorithm>

#include "win32/Handles.h"
#include "win32/Text.h"

namespace MShutdown {

namespace {

void ShowErrorBox(const std::string& text) {
    // No title of its own: the system supplies its default one.
    ::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), nullptr, MB_OK);
}

// Shows "<function> Error: <code>" with the code of the call that just failed.
bool Fail(const char* function) {
    DWORD code = ::GetLastError();
    std::string text = std::string(function) + " Error: " + std::to_string(code);
    if (auto show = Calls().showError)
        show(text);
    else
        ShowErrorBox(text);
    return false;
}

std::string Lower(std::string s) {
    if (!s.empty())
        ::CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

TOKEN_PRIVILEGES ShutdownPrivilege(const LUID& luid, DWORD attributes) {
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Luid = luid;
    p.Privileges[0].Attributes = attributes;
    return p;
}

bool Initiate(const std::string& name, bool local, const std::string& message,
              std::uint32_t timeout, bool force, bool reboot) {
    std::string target = "\\\\" + name;
    // When the local name could not be read there is nothing to put after "\\"; no name
    // then means this computer.
    char* machine = local && name.empty() ? nullptr : target.data();
    return Calls().initiateSystemShutdown(machine, const_cast<char*>(message.c_str()), timeout,
                                          force, reboot) != 0;
}

} // namespace

SystemCalls& Calls() {
    static SystemCalls calls;
    return calls;
}

std::string GetMachineName() {
    char buffer[100] = {};
    DWORD length = sizeof(buffer);
    if (!Calls().getComputerName(buffer, &length))
        return {};
    return std::string(buffer, std::min<DWORD>(length, sizeof(buffer)));
}

bool ShutdownSystem(const std::string& sMachineName, bool bForceAppsClosed,
                    bool bRebootAfterShutdown, bool bLocal, std::uint32_t lTimeout,
                    const std::string& sMessage) {
    std::string name = sMachineName.starts_with("\\\\") ? sMachineName.substr(2) : sMachineName;

    if (Lower(name) != Lower(GetMachineName()))
        return Initiate(name, false, sMessage, lTimeout, bForceAppsClosed, bRebootAfterShutdown);
    if (!bLocal)
        return false;

    SystemCalls& calls = Calls();
    UniqueHandle token;
    if (!calls.openProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                token.put()))
        return Fail("OpenProcessToken");
    LUID luid{};
    if (!calls.lookupPrivilegeValue(nullptr, "SeShutdownPrivilege", &luid))
        return Fail("LookupPrivilegeValue");

    // Success here does not mean the privilege was granted; the request below then fails.
    TOKEN_PRIVILEGES enable = ShutdownPrivilege(luid, SE_PRIVILEGE_ENABLED);
    TOKEN_PRIVILEGES previous{};
    DWORD previousLength = 0;
    if (!calls.adjustTokenPrivileges(token.get(), FALSE, &enable, sizeof(enable), &previous,
                                     &previousLength))
        return Fail("AdjustTokenPrivileges");

    if (!Initiate(name, true, sMessage, lTimeout, bForceAppsClosed, bRebootAfterShutdown))
        return false;

    TOKEN_PRIVILEGES disable = ShutdownPrivilege(luid, 0);
    return calls.adjustTokenPrivileges(token.get(), FALSE, &disable, sizeof(disable), &previous,
                                       &previousLength) != 0;
}

} // namespace MShutdown
