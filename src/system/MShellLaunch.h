// How the program hands an address or file to the shell. The program runs with the full
// administrator token, and whatever ShellExecute starts from here inherits it: a browser opened
// that way would keep those rights for everything the user does in it. Only when the desktop's
// own shell runs as this program does (same user, and the same integrity level where tokens have
// one) does the launch start from here; otherwise the desktop shell starts it with its own
// rights.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "win32/ProcessIdentity.h"

namespace MShellLaunch {

// One launch, texts in UTF-8; an empty operation asks for the shell's default verb.
struct Launch {
    std::string operation, file, parameters, directory;
    int showCommand = SW_SHOWNORMAL;
};

// The real launches.
// ShellExecute from this process, in the ANSI code page with the desktop window as owner.
void ShellExecuteHere(const Launch& launch);
// Through Explorer's Shell.Application: S_OK once the desktop shell has the launch, a failure
// when there is none.
HRESULT ShellExecuteOnDesktop(const Launch& launch);

// Everything a launch asks of Windows; a default-constructed table holds the real calls.
struct Calls {
    // Who runs the desktop shell (the process of GetShellWindow) and who runs this program.
    std::function<std::optional<ProcessIdentity>()> shellIdentity = [] {
        return IdentityOfWindow(::GetShellWindow());
    };
    std::function<std::optional<ProcessIdentity>()> ownIdentity = &IdentityOfThisProcess;
    std::function<void(const Launch&)> shellExecute = &ShellExecuteHere;
    std::function<HRESULT(const Launch&)> desktopShell = &ShellExecuteOnDesktop;
};

// Starts the launch from here when the desktop shell runs as this program, else through the
// desktop shell; a shell that cannot be told (none, or its token unreadable) is not taken to
// be this program's equal. False when the launch went nowhere: the desktop shell was needed and
// is not there. The caller then shows the address to the user instead.
bool Open(const Launch& launch);

} // namespace MShellLaunch
