#include "system/MShellExec.h"

#include "system/ShellLaunch.h"

namespace MShellExec {

void ShellExec(const std::string& operation, const std::string& file, const std::string& parameters,
               const std::string& directory, std::int32_t showCommand, HWND owner,
               const std::string& langCode) {
    ShellLaunch::Open({operation, file, parameters, directory, showCommand}, owner, langCode);
}

} // namespace MShellExec
