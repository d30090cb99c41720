// One Tavelin window at a time: a copy started while another runs brings that one's window to
// the front and ends. Only a window that is Tavelin's own counts, so that no other program can
// make Tavelin quit by taking its name.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "win32/ProcessIdentity.h"

namespace MSingleInstance {

// Name of the mutex by which a running copy makes itself known to copies started later.
inline constexpr const wchar_t* kMutexName = L"Tavelin.PreviousInstance";

// How long an earlier copy has to show its window before this one starts all the same: the
// name may be held by a copy that is being refused, or by any other process.
inline constexpr DWORD kActivationWaitMs = 2000;

// True when an earlier copy runs; otherwise this copy is the one that later copies see.
bool PreviousInstanceRunning();
// Lets go of the name, so that a copy started while this one shows a refusal is not held up.
void ReleaseMarker();

// What the activation asks of Windows about a window's owner; a default-constructed table holds
// the real calls.
struct Calls {
    std::function<std::optional<ProcessIdentity>(HWND)> windowIdentity = &IdentityOfWindow;
    std::function<std::optional<ProcessIdentity>()> ownIdentity = &IdentityOfThisProcess;
};

// Brings the earlier copy's main window to the front: a top-level window of the main window's
// class whose process runs as this one (same user and integrity level), titled
// exactly title, or else whose title begins with it. False when there is none.
bool ActivateEarlierCopy(const std::string& title);

} // namespace MSingleInstance
