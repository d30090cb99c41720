// Opens a file or address with the shell, as the user's default handler would.
#pragma once

#include <cstdint>
#include <string>

namespace MShellExec {

// Texts are UTF-8 and cross to ShellExecuteA in the ANSI code page, as the donation address
// always has. The owner is the desktop window; the shell's answer is not examined.
void ShellExec(const std::string& operation, const std::string& file,
               const std::string& parameters, const std::string& directory,
               std::int32_t showCommand);

} // namespace MShellExec
