#include "system/MShellExec.h"

#include "system/MShellLaunch.h"

namespace MShellExec {

bool ShellExec(const std::string& operation, const std::string& file, const std::string& parameters,
               const std::string& directory, std::int32_t showCommand) {
    return MShellLaunch::Open({operation, file, parameters, directory, showCommand});
}

} // namespace MShellExec
