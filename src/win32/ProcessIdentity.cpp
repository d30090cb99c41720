#include "win32/ProcessIdentity.h"

#include <cstddef>

#include "win32/Handles.h"

namespace {

// Declared here: the Windows 2000 headers the program is built against predate them.
constexpr int kTokenIntegrityLevel = 25;                  // TOKEN_INFORMATION_CLASS, Vista on
constexpr DWORD kProcessQueryLimitedInformation = 0x1000; // Vista on

std::vector<unsigned char> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS which) {
    DWORD size = 0;
    ::GetTokenInformation(token, which, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (!size || !::GetTokenInformation(token, which, buffer.data(), size, &size))
        buffer.clear();
    return buffer;
}

// The SID's bytes: its header and as many sub-authorities as it names.
std::optional<std::vector<unsigned char>> SidBytes(PSID sid) {
    if (!sid || !::IsValidSid(sid))
        return std::nullopt;
    const auto* s = static_cast<const SID*>(sid);
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return std::vector<unsigned char>(bytes, bytes + offsetof(SID, SubAuthority) +
                                                 sizeof(DWORD) * s->SubAuthorityCount);
}

std::optional<ProcessIdentity> IdentityOfToken(HANDLE token) {
    const std::vector<unsigned char> user = TokenInformation(token, TokenUser);
    if (user.empty())
        return std::nullopt;
    auto sid = SidBytes(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    if (!sid)
        return std::nullopt;
    ProcessIdentity identity{std::move(*sid), std::nullopt};
    // A label of one SID_AND_ATTRIBUTES; its last sub-authority is the level (0x2000 medium,
    // 0x3000 high). Systems without levels refuse the class.
    const std::vector<unsigned char> label =
        TokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(kTokenIntegrityLevel));
    if (!label.empty()) {
        PSID level = reinterpret_cast<const SID_AND_ATTRIBUTES*>(label.data())->Sid;
        if (level && ::IsValidSid(level) && static_cast<const SID*>(level)->SubAuthorityCount)
            identity.integrity =
                static_cast<const SID*>(level)
                    ->SubAuthority[static_cast<const SID*>(level)->SubAuthorityCount - 1];
    }
    return identity;
}

} // namespace

std::optional<ProcessIdentity> IdentityOfProcess(DWORD processId) {
    // The limited right is all NT 6 asks for a token; older systems know only the full one.
    UniqueHandle process(::OpenProcess(kProcessQueryLimitedInformation, FALSE, processId));
    if (!process)
        process.reset(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    UniqueHandle token;
    if (!process || !::OpenProcessToken(process.get(), TOKEN_QUERY, token.put()))
        return std::nullopt;
    return IdentityOfToken(token.get());
}

std::optional<ProcessIdentity> IdentityOfThisProcess() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return std::nullopt;
    return IdentityOfToken(token.get());
}

std::optional<ProcessIdentity> IdentityOfWindow(HWND window) {
    DWORD processId = 0;
    if (!window || !::GetWindowThreadProcessId(window, &processId) || !processId)
        return std::nullopt;
    return IdentityOfProcess(processId);
}

bool SameTrust(const std::optional<ProcessIdentity>& a,
               const std::optional<ProcessIdentity>& b) noexcept {
    return a && b && a->user == b->user && a->integrity == b->integrity;
}
