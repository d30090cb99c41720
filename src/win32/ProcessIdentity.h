// Who a process runs as, as its token tells: the user and, from NT 6 on, the integrity level.
// The program runs with the full administrator token and hands nothing to a process, nor takes
// orders from one, unless that process runs as it does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

struct ProcessIdentity {
    std::vector<unsigned char> user;        // the user's SID, byte for byte
    std::optional<std::uint32_t> integrity; // the mandatory level's RID; none before NT 6
    bool operator==(const ProcessIdentity&) const = default;
};

// Nothing when the process, its token or the user cannot be read.
std::optional<ProcessIdentity> IdentityOfProcess(DWORD processId);
std::optional<ProcessIdentity> IdentityOfThisProcess();
// Of the process that owns the window; nothing for no window.
std::optional<ProcessIdentity> IdentityOfWindow(HWND window);

// True only when both are known and the same user, and on NT 6 also the same known integrity
// level: a process that cannot be told apart from a less trusted one counts as less trusted.
bool SameTrust(const std::optional<ProcessIdentity>& a, const std::optional<ProcessIdentity>& b,
               bool nt6) noexcept;
