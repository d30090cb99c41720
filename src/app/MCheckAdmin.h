// Whether the user of this process (or of the thread, while it impersonates) belongs to the
// built-in Administrators group.
#pragma once

#include <windows.h>

namespace MCheckAdmin {

// True at once on NT 6.x (the manifest demands elevation there); otherwise looks for
// S-1-5-32-544 among the token's groups. Every failing call makes the answer false.
bool IsAdmin();

// The token test alone: whether the group list of the token holds the Administrators group,
// enabled or not.
bool TokenHoldsAdministrators(HANDLE token);

// Walks a group list for an identifier equal to sid; entries with invalid identifiers are
// skipped.
bool GroupsContain(const TOKEN_GROUPS& groups, PSID sid);

} // namespace MCheckAdmin
