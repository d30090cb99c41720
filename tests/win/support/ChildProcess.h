// A program of the build run as a child process; ended, with any box it left open, at the end.
#pragma once

#include <map>
#include <optional>
#include <string>

#include <shlwapi.h>

#include "win32/Handles.h"

namespace testsupport {

using Env = std::map<std::string, std::string>;

class ChildProcess {
  public:
    // Starts exe (UTF-8 path) with the arguments (UTF-8, as on a command line) and this
    // process's environment; standard output captured.
    explicit ChildProcess(const std::string& exe, const std::string& args = "");
    ChildProcess(ChildProcess&&) noexcept = default;
    ~ChildProcess();
    // For variables Wine reads from the Unix environment at start (LC_ALL: the system locale):
    // starts exe (a Unix path) through a shell and a fresh "wine", found by its file name (a
    // short run may end unseen: no Pid); output and Wine's own messages captured. args: no '"'.
    static ChildProcess UnderWine(const std::string& exe, const Env& unixEnv,
                                  const std::string& args = "");

    DWORD Pid() const { return pid_; }
    // The exit code, or nothing after timeoutMs; handles this thread's messages meanwhile.
    std::optional<DWORD> Wait(DWORD timeoutMs);
    std::string Output() { return output_; } // standard output, read by Wait

  private:
    ChildProcess() = default;
    std::optional<DWORD> ExitCode();
    UniqueHandle process_, outputRead_;
    DWORD pid_ = 0;
    std::string output_, outputFile_; // the file: under Wine, with "EXIT=code" last
};

// While it lives, Wine reports version (win98, winxp, ...) to processes of exeName started
// meanwhile. The AppDefaults key goes afterwards only when nothing else was kept there.
struct WineVersionFor {
    std::string key;
    WineVersionFor(const std::string& exeName, const std::string& version)
        : key("Software\\Wine\\AppDefaults\\" + exeName) {
        ::SHSetValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, version.c_str(),
                      version.size() + 1);
    }
    ~WineVersionFor() {
        ::SHDeleteValueA(HKEY_CURRENT_USER, key.c_str(), "Version");
        ::SHDeleteEmptyKeyA(HKEY_CURRENT_USER, key.c_str());
    }
};

} // namespace testsupport
