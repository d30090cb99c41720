// The running Windows version as GetVersionExA reports it, asked afresh on every call: the
// platform checks read it here. A compatibility layer (the user's to set) changes what it reports,
// so no security decision reads it: those ask the token or look the function up.
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
