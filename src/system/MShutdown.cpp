#include "system/MShutdown.h"

#include <algorithm>

#include "win32/Handles.h"
#include "win32/Seam.h"

namespace MShutdown {

namespace {

// "<function> Error: <code>" with the code of the call that just failed.
Result Fail(const char* function) {
    const DWORD code = ::GetLastError();
    return {false, std::string(function) + " Error: " + std::to_string(code)};
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

bool Initiate(const Calls& calls, const std::string& name, bool local, const std::string& message,
              std::uint32_t timeout, bool force, bool reboot) {
    std::string target = "\\\\" + name;
    // When the local name could not be read there is nothing to put after "\\"; no name
    // then means this computer.
    char* machine = local && name.empty() ? nullptr : target.data();
    return calls.initiateSystemShutdown(machine, const_cast<char*>(message.c_str()), timeout, force,
                                        reboot) != 0;
}

} // namespace

std::string GetMachineName() {
    char buffer[100] = {};
    DWORD length = sizeof(buffer);
    if (!Seam<Calls>::Current().getComputerName(buffer, &length))
        return {};
    return std::string(buffer, std::min<DWORD>(length, sizeof(buffer)));
}

Result ShutdownSystem(const std::string& sMachineName, bool bForceAppsClosed,
                      bool bRebootAfterShutdown, bool bLocal, std::uint32_t lTimeout,
                      const std::string& sMessage) {
    const Calls calls = Seam<Calls>::Current();
    std::string name = sMachineName.starts_with("\\\\") ? sMachineName.substr(2) : sMachineName;

    if (Lower(name) != Lower(GetMachineName()))
        return {Initiate(calls, name, false, sMessage, lTimeout, bForceAppsClosed,
                         bRebootAfterShutdown),
                {}};
    if (!bLocal)
        return {};

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
    if (!calls.adjustTokenPrivileges(token.get(), FALSE, &enable, sizeof(previous), &previous,
                                     &previousLength))
        return Fail("AdjustTokenPrivileges");

    const bool requested =
        Initiate(calls, name, true, sMessage, lTimeout, bForceAppsClosed, bRebootAfterShutdown);
    // Back as it was before, whatever the request came to: Windows lists only what it changed
    // (nothing when the privilege was on already). A privilege left on does not undo a restart
    // that is under way, so this step's failure is not the request's.
    if (previous.PrivilegeCount > 0)
        calls.adjustTokenPrivileges(token.get(), FALSE, &previous, 0, nullptr, nullptr);
    return {requested, {}};
}

} // namespace MShutdown
