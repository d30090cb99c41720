// Restarting the computer so that a new keyboard map takes effect: enables the shutdown
// privilege of the process and asks Windows to restart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace MShutdown {

// The local computer's name; empty when it cannot be read.
std::string GetMachineName();

// Asks sMachineName (with or without a leading "\\") to shut down. The local computer is
// only acted on when bLocal is true; the shutdown privilege is then enabled around the request.
// Token and privilege failures are shown as "<function> Error: <code>"; every failure
// answers false.
bool ShutdownSystem(const std::string& sMachineName, bool bForceAppsClosed = false,
                    bool bRebootAfterShutdown = true, bool bLocal = false,
                    std::uint32_t lTimeout = 0, const std::string& sMessage = "");

// The system calls the routine makes. Tests replace them to fail a step or to record the
// request instead of restarting anything.
struct SystemCalls {
    decltype(&::OpenProcessToken) openProcessToken = &::OpenProcessToken;
    decltype(&::LookupPrivilegeValueA) lookupPrivilegeValue = &::LookupPrivilegeValueA;
    decltype(&::AdjustTokenPrivileges) adjustTokenPrivileges = &::AdjustTokenPrivileges;
    decltype(&::InitiateSystemShutdownA) initiateSystemShutdown = &::InitiateSystemShutdownA;
    decltype(&::GetComputerNameA) getComputerName = &::GetComputerNameA;
    // Shows one of the error texts (plain box, OK button, the system's default title).
    void (*showError)(const std::string& text) = nullptr;
};
SystemCalls& Calls();

} // namespace MShutdown
