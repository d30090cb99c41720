#include "system/MShellExec.h"

#include <windows.h>
#include <shellapi.h>

#include "win32/Text.h"

namespace MShellExec {

void ShellExec(const std::string& operation, const std::string& file,
               const std::string& parameters, const std::string& directory,
               std::int32_t showCommand) {
    const std::string op = Utf8ToAnsi(operation), f = Utf8ToAnsi(file),
                      p = Utf8ToAnsi(parameters), d = Utf8ToAnsi(directory);
    // An empty operation means the shell's default verb, which a null pointer asks for on
    // every Windows version.
    ::ShellExecuteA(::GetDesktopWindow(), op.empty() ? nullptr : op.c_str(), f.c_str(),
                    p.c_str(), d.c_str(), showCommand);
}

} // namespace MShellExec
