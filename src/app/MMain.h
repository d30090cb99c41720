// The entry routine and the program-wide objects it creates.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class CScancodeMap;

namespace MMain {

// "DE" or "EN", fixed at start from the system default locale.
extern std::string LangCode;

// The one scancode-map object, created by Main after the platform checks.
CScancodeMap& ScancodeMap();
void SetScancodeMap(std::unique_ptr<CScancodeMap> map);

// Runs the start-up sequence; ends the process itself on refusal.
void Main();

// The two reasons to refuse a start. ShowRefusal shows the message box in LangCode and
// returns when the user has closed it; Main then ends the process.
enum class Refusal { UnsupportedWindows, NoAdministratorRights };
void ShowRefusal(Refusal reason);
// The refusal's text in LangCode; the command line prints it.
std::string RefusalText(Refusal reason);
// The version check: Windows 2000, XP, 2003 (R2) or any NT 6.x.
bool SupportedWindows();

// Name of the mutex by which a running copy makes itself known to copies started later.
inline constexpr const wchar_t* kInstanceMutexName = L"Tavelin.PreviousInstance";

// True when an earlier copy runs; otherwise this copy is the one that later copies see.
bool PreviousInstanceRunning();
// Lets go of the name, so that a copy started while this one shows a refusal is not held up.
void ReleaseInstanceMarker();
// How long an earlier copy has to show its window before this one starts all the same: the
// name may be held by a copy that is being refused, or by any other process.
inline constexpr DWORD kActivationWaitMs = 2000;

// Brings the top-level window with this title to the front: an exact match first, otherwise
// the first whose title begins with it. False when there is none.
bool ActivateWindowByTitle(const std::string& title);

} // namespace MMain
