// Whether the user of this process (or of the thread, while it impersonates) belongs to the
// built-in Administrators group.
#pragma once

#include <windows.h>

namespace MCheckAdmin {

// True at once on NT 6.x (the manifest demands elevation there); otherwise looks for
// S-1-5-32-544 among the token's groups, enabled or not. Every failing call makes the answer
// false.
bool IsAdmin();

// What the check asks of Windows about the token (Seam<MCheckAdmin::Calls>); a
// default-constructed table holds the real calls. Wine's tokens all hold the Administrators
// group, so tests hand in the groups of other users.
struct Calls {
    decltype(&::OpenThreadToken) openThreadToken = &::OpenThreadToken;
    decltype(&::OpenProcessToken) openProcessToken = &::OpenProcessToken;
    decltype(&::GetTokenInformation) tokenInformation = &::GetTokenInformation;
};

} // namespace MCheckAdmin
