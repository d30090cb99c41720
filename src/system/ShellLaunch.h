// How the program hands an address or file to the shell. The program runs with the full
// administrator token on NT 6, and whatever ShellExecute starts from here inherits it: a browser
// opened that way stays elevated for everything the user does in it. With such a token the
// address goes to the desktop shell, which runs unelevated, and never to an elevated launch.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ShellLaunch {

// One launch, texts in UTF-8; an empty operation asks for the shell's default verb.
struct Launch {
    std::string operation, file, parameters, directory;
    int showCommand = SW_SHOWNORMAL;
};

// TokenElevationType's values; Unknown when the token could not be asked.
enum class Elevation { Unknown = 0, Default = 1, Full = 2, Limited = 3 };

enum class Route {
    Direct,       // ShellExecute: Windows 2000 and XP, and NT 6 without an elevated token
    DesktopShell, // NT 6 with the full token: through the unelevated desktop shell
};

// NT 6 and later with a full or unknown token go through the desktop shell: a token that cannot
// be asked is not taken to be harmless.
Route ChooseRoute(unsigned majorVersion, Elevation elevation) noexcept;

// Everything a launch asks of Windows, replaceable as a whole by tests.
struct Calls {
    std::function<unsigned()> majorVersion; // NT major version of the running system
    std::function<Elevation()> elevation;   // of this process's token
    std::function<void(const Launch&)> shellExecute;
    // S_OK once the desktop shell has the launch; a failure when there is no such shell.
    std::function<HRESULT(const Launch&)> desktopShell;
    // The address shown to the user instead, in a box centred on owner.
    std::function<void(const Launch&, HWND owner, const std::string& langCode)> showAddress;
};

Calls RealCalls();

// Replaces the calls while it lives; the previous ones come back at its end.
class ScopedCalls {
  public:
    explicit ScopedCalls(Calls calls);
    ~ScopedCalls();
    ScopedCalls(const ScopedCalls&) = delete;
    ScopedCalls& operator=(const ScopedCalls&) = delete;

  private:
    Calls previous_;
};

// Opens the launch on the route the system and token call for. Where the desktop shell is not
// there, the address is shown to the user (in langCode, centred on owner) instead of being
// started elevated.
void Open(const Launch& launch, HWND owner, const std::string& langCode);

// The text of that box: why nothing opened, and the address.
std::string AddressNotice(const std::string& address, const std::string& langCode);

} // namespace ShellLaunch
