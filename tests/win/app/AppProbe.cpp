// The start-up sequence as a standard user of XP, in a process of its own (a refusal ends it):
// Wine's tokens all hold Administrators.
#include "app/MCheckAdmin.h"
#include "app/MGetWinVer.h"
#include "app/MMain.h"
#include "win32/Seam.h"

namespace {

BYTE g_users[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0}; // S-1-5-32-545

BOOL WINAPI UsersOnly(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID out, DWORD size, PDWORD needed) {
    *needed = sizeof(TOKEN_GROUPS);
    if (size < *needed)
        return FALSE;
    *static_cast<TOKEN_GROUPS*>(out) = {1, {{g_users, SE_GROUP_ENABLED}}};
    return TRUE;
}

} // namespace

int main() {
    const Seam<MGetWinVer::Calls>::Override xp({[] {
        return std::optional(WinVersion{2, 5, 1, 2600});
    }});
    const Seam<MCheckAdmin::Calls>::Override user({.tokenInformation = &UsersOnly});
    MMain::Main();
    return 3;
}
