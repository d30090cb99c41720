// Who a process runs as, as its token tells: the user and, where the system has them, the
// integrity level.
// The program runs with the full administrator token and hands nothing to a process, nor takes
// orders from one, unless that process runs as it does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

struct ProcessIdentity {
    std::vector<unsigned char> user; // the user's SID, byte for byte
    std::optional<std::uint32_t>
        integrity; // the mandatory level's RID; none where the token has none
    bool operator==(const ProcessIdentity&) const = default;
};

// Nothing when the process, its token or the user cannot be read.
std::optional<ProcessIdentity> IdentityOfProcess(DWORD processId);
std::optional<ProcessIdentity> IdentityOfThisProcess();
// Of the process that owns the window; nothing for no window.
std::optional<ProcessIdentity> IdentityOfWindow(HWND window);

// True only when both are known, the same user and at the same integrity level. The tokens say
// whether there are levels, not the version Windows reports (a compatibility layer changes
// that): a level read on one side only is not the same trust. A process that cannot be told
// apart from a less trusted one counts as less trusted.
bool SameTrust(const std::optional<ProcessIdentity>& a,
               const std::optional<ProcessIdentity>& b) noexcept;
