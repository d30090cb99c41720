// Starting a program of the build (tavelin.exe, a probe) as a child process, with extra
// environment variables and its standard output captured.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace testsupport {

class ChildProcess {
  public:
    // Starts exe (UTF-8 path) with the current environment plus env (name -> value).
    explicit ChildProcess(const std::string& exe,
                          const std::map<std::string, std::string>& env = {});
    // Ends the child if it still runs (with any message box it left open).
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Under Wine, variables that Wine itself reads when a process starts (LC_ALL for the system
    // locale) must be in the new process's Unix environment, which a Windows environment block
    // does not reach. This starts exe through the Unix "env" program and a fresh "wine" and then
    // finds the new process by its file name. Standard output is not captured.
    static ChildProcess UnderWine(const std::string& exe,
                                  const std::map<std::string, std::string>& unixEnv);
    ChildProcess(ChildProcess&& other) noexcept;

    bool Started() const { return process_ != nullptr; }
    DWORD Pid() const { return pid_; }
    // The exit code, or nothing if the child still runs after timeoutMs. Handles this thread's
    // messages meanwhile.
    std::optional<DWORD> Wait(DWORD timeoutMs);
    // Everything the child wrote to its standard output (call after Wait).
    std::string Output();

  private:
    ChildProcess() = default;

    HANDLE process_ = nullptr;
    HANDLE outputRead_ = nullptr;
    DWORD pid_ = 0;
    std::string output_;
};

// Sets HKCU\Software\Wine\AppDefaults\<exeName>\Version for as long as the object lives, so
// that Wine reports that Windows version to processes of exeName started meanwhile.
class WineVersionFor {
  public:
    WineVersionFor(const std::string& exeName, const std::string& version);
    ~WineVersionFor();
    WineVersionFor(const WineVersionFor&) = delete;
    WineVersionFor& operator=(const WineVersionFor&) = delete;

  private:
    std::string key_;
};

} // namespace testsupport
