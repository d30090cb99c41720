// Restarting the computer so that a new keyboard map takes effect: enables the shutdown
// privilege of the process and asks Windows to restart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace MShutdown {

// The local computer's name; empty when it cannot be read.
std::string GetMachineName();

// What a restart request came to. A failed token or privilege step names the call and its
// code ("OpenProcessToken Error: 5"); a request Windows refused names nothing. The caller tells
// the user.
struct Result {
    bool requested = false;
    std::string failure;
};

// Asks sMachineName (with or without a leading "\\") to shut down. The local computer is
// only acted on when bLocal is true; the shutdown privilege is then enabled around the request
// and put back as it was, also when the request fails.
Result ShutdownSystem(const std::string& sMachineName, bool bForceAppsClosed = false,
                      bool bRebootAfterShutdown = true, bool bLocal = false,
                      std::uint32_t lTimeout = 0, const std::string& sMessage = "");

// The system calls the routine makes; a default-constructed table holds the real ones. Tests
// replace them to fail a step or to record the request instead of restarting anything.
struct Calls {
    decltype(&::OpenProcessToken) openProcessToken = &::OpenProcessToken;
    decltype(&::LookupPrivilegeValueA) lookupPrivilegeValue = &::LookupPrivilegeValueA;
    decltype(&::AdjustTokenPrivileges) adjustTokenPrivileges = &::AdjustTokenPrivileges;
    decltype(&::InitiateSystemShutdownA) initiateSystemShutdown = &::InitiateSystemShutdownA;
    decltype(&::GetComputerNameA) getComputerName = &::GetComputerNameA;
};

} // namespace MShutdown
