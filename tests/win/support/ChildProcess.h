// A program of the build run as a child process; ended, with any box it left open, at the end.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include <shlwapi.h>

#include "win32/Handles.h"

namespace testsupport {

using Env = std::map<std::string, std::string>;

// What this process's console shows, in UTF-8: its lines run together, trailing blanks gone.
std::string ConsoleText();

// Handles this thread's messages until done() holds or timeoutMs have passed; returns done().
bool HandleMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

class ChildProcess {
  public:
    // Starts exe (a Unix path) with the arguments (as on a Unix shell's command line) through a
    // shell and a fresh Wine loader of its architecture, so that unixEnv reaches Wine itself
    // (LC_ALL: the system locale); no exe: args is a Unix command. It is found by its file name
    // (a short run may end unseen: no Pid); its output and Wine's own messages are captured.
    explicit ChildProcess(const std::string& exe, const std::string& args = "",
                          const Env& unixEnv = {});
    ~ChildProcess();

    DWORD Pid() const { return pid_; }
    // The exit code, or nothing after timeoutMs; handles this thread's messages meanwhile.
    std::optional<DWORD> Wait(DWORD timeoutMs);
    std::string Output() { return output_; } // read by Wait

  private:
    std::optional<DWORD> ExitCode();
    UniqueHandle process_;
    DWORD pid_ = 0;
    std::string output_, outputFile_; // the file: the output, then "EXIT=code"
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
