// Opens a file or address with the shell, as the user's default handler would.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace MShellExec {

// Texts are UTF-8. On Windows 2000 and XP, and on NT 6 without an elevated token, they cross to
// ShellExecuteA in the ANSI code page with the desktop window as owner. With the full
// administrator token the desktop shell opens them unelevated; where there is none, the address
// is shown in a box centred on owner, in langCode ("DE" or "EN"). Nothing is reported back.
void ShellExec(const std::string& operation, const std::string& file, const std::string& parameters,
               const std::string& directory, std::int32_t showCommand, HWND owner,
               const std::string& langCode);

} // namespace MShellExec
