// Opens a file or address with the shell, as the user's default handler would.
#pragma once

#include <cstdint>
#include <string>

namespace MShellExec {

// Texts are UTF-8; they cross to the shell in the ANSI code page with the desktop window as
// owner, from this process when the desktop shell runs as it does, else through the desktop
// shell (see MShellLaunch). False when neither could take them: the caller shows the address.
bool ShellExec(const std::string& operation, const std::string& file, const std::string& parameters,
               const std::string& directory, std::int32_t showCommand);

} // namespace MShellExec
