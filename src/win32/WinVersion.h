// The running Windows version as GetVersionExA reports it, asked afresh on every call: the
// platform checks and the choices that differ from NT 6 on read it here.
#pragma once

#include <cstdint>
#include <optional>

struct WinVersion {
    std::uint32_t platformId; // 2: the NT family
    std::uint32_t major;
    std::uint32_t minor;
    std::int32_t build; // compared as signed, as the record holds it
};

// Nothing when the system does not answer.
std::optional<WinVersion> QueryWinVersion();

// NT 6 or later: the systems with integrity levels and split administrator tokens.
bool IsNt6OrLater();
