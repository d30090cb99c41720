// A machine of its own: a second Wine prefix, whose wineserver's end is that machine's restart.
// Its volatile keys go with the server, and the next server's start writes the hardware
// description anew, as Windows does at every start. Its programs run on that server alone, so
// this test reads them only through their output.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

const testsupport::Env kMachine = {{"WINEPREFIX", RESTART_PREFIX},
                                   {"WINEDEBUG", "-all"},
                                   {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                                   {"LC_ALL", "en_US.UTF-8"}};

// A Unix command run on the machine to its end. Wine gives no handle for a Unix program: the
// shell leaves a file behind when it is done.
void OnMachine(const std::string& command) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string done = std::string(self).substr(2) + "-done";
    std::replace(done.begin(), done.end(), '\\', '/');
    const std::string doneFile = "Z:" + done;
    ::DeleteFileA(doneFile.c_str());
    std::string script = "export WINEPREFIX=" RESTART_PREFIX
                         " WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=; " +
                         command + " >/dev/null 2>&1; touch " + done;
    std::string line = "Z:\\bin\\sh -c \"";
    for (char c : script)
        line += c == '"' ? std::string("\\\"") : std::string(1, c);
    std::wstring wide = Utf8ToWide(line + "\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi))
        ::CloseHandle(pi.hThread), ::CloseHandle(pi.hProcess);
    EXPECT_TRUE(testsupport::HandleMessagesUntil(
        [&] { return ::GetFileAttributesA(doneFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000))
        << command;
    ::DeleteFileA(doneFile.c_str());
}

// The machine restarted: its server ended, and a new one kept running until the next restart
// (a server that ends by itself between two commands would be a restart too).
void Restart() {
    OnMachine("/usr/bin/wineserver -k; /usr/bin/wineserver -w; /usr/bin/wineserver -p");
}

const char kLayout[] = "\"HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layout\"";

// The machine as a new one: no map, no backup, no key in the record's place (a run that was
// ended midway may leave one), then a restart. Its server ends however the test ends.
struct Machine {
    Machine() {
        Restart();
        const std::string reg = std::string("/usr/bin/wine reg delete ");
        OnMachine(reg + kLayout + " /v \"Scancode Map\" /f; " + reg + kLayout +
                  " /v \"TVLN Backup\" /f; " + reg +
                  "\"HKLM\\System\\CurrentControlSet\\Control\\Tavelin\" /f");
        Restart();
    }
    ~Machine() { OnMachine("/usr/bin/wineserver -k; /usr/bin/wineserver -w"); }
};

} // namespace

// A session on one machine, each command's answer as the administrator reads it, and the code
// that deployment tools read with /restartcodes: a save waits for a restart (3010), a change set
// back does not (0), and after a restart the map saved is the one in effect. A restore is a write
// like a save. Another program's write after Tavelin's first one is measured against Tavelin's
// record; one before it (or with no write of Tavelin's since the start) leaves what is in effect
// unknown until the next restart (3010).
TEST(RestartTest, SessionAcrossRestarts) {
    struct Step {
        bool restart = false;
        std::string foreign = {}; // a command of reg.exe run on the machine first
        std::string args = {};
        bool german = false;
        DWORD code = 0; // as a Unix shell reads it through Wine's loader: the low byte
        std::string output = {};
    };
    const std::string later = "The change takes effect when the computer restarts.\r\n",
                      inEffect = "The map stored is the one in effect; no restart is needed.\r\n";
    const DWORD kRestartNeeded = 3010 % 256;
    const std::string caps = "0000000000000000020000002A003A0000000000",
                      mute = "00000000000000000200000020E0460000000000";
    const auto status = [](const std::string& keys, const std::string& backup,
                           const std::string& state, const std::string& mapBytes,
                           const std::string& backupBytes) {
        return keys + "BACKUP=" + backup + "\r\nRESTART=" + state + "\r\nMAPBYTES=" + mapBytes +
               "\r\nBACKUPBYTES=" + backupBytes + "\r\n";
    };
    const std::string plain = "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\n",
                      shift = "CAPSLOCK=LSHIFT\r\nINSERT=INSERT\r\nSCROLL=SCROLL\r\n",
                      muted = "CAPSLOCK=CAPSLOCK\r\nINSERT=INSERT\r\nSCROLL=MUTE\r\n";
    const std::string deleteBoth = std::string("reg delete ") + kLayout +
                                   " /v \"Scancode Map\" /f; /usr/bin/wine reg delete " + kLayout +
                                   " /v \"TVLN Backup\" /f";
    const std::string writeMute =
        std::string("reg add ") + kLayout + " /v \"Scancode Map\" /t REG_BINARY /d " + mute + " /f";
    const Step steps[] = {
        {.args = "/status", .output = status(plain, "NO", "NO", "NONE", "NONE")},
        {.args = "/set CAPSLOCK=LSHIFT /restartcodes",
         .code = kRestartNeeded,
         .output = "Saved.\r\n" + later},
        {.args = "/status", .output = status(shift, "YES", "PENDING", caps, "")},
        {.args = "/set CAPSLOCK=CAPSLOCK /restartcodes",
         .german = true,
         .output = "Gespeichert.\r\nDie gespeicherte Belegung ist schon wirksam; ein Neustart ist "
                   "nicht n\x94tig.\r\n"},
        {.args = "/status", .output = status(plain, "YES", "NO", "", "")},
        {.args = "/set CAPSLOCK=LSHIFT",
         .german = true,
         .output = "Gespeichert.\r\nDie \x8Enderung wird nach einem Neustart des Rechners "
                   "wirksam.\r\n"},
        {.restart = true, .args = "/status", .output = status(shift, "YES", "NO", caps, "")},
        {.args = "/restore", .output = "Restored.\r\n" + later},
        {.args = "/status", .output = status(plain, "NO", "PENDING", "NONE", "NONE")},
        {.foreign = writeMute,
         .args = "/status",
         .output = status(muted, "NO", "PENDING", mute, "NONE")},
        {.restart = true, .args = "/status", .output = status(muted, "NO", "NO", mute, "NONE")},
        {.foreign = deleteBoth,
         .args = "/status",
         .output = status(plain, "NO", "UNKNOWN", "NONE", "NONE")},
        {.args = "/set CAPSLOCK=LSHIFT /restartcodes",
         .code = kRestartNeeded,
         .output = "Saved.\r\n" + later},
        {.args = "/status", .output = status(shift, "YES", "UNKNOWN", caps, "")},
        {.restart = true, .args = "/status", .output = status(shift, "YES", "NO", caps, "")},
    };
    const Machine machine;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args + (step.restart ? " after a restart" : ""));
        if (step.restart)
            Restart();
        if (!step.foreign.empty())
            OnMachine("/usr/bin/wine " + step.foreign);
        testsupport::Env machine = kMachine;
        if (step.german)
            machine["LC_ALL"] = "de_DE.UTF-8";
        const RunResult run = RunTavelin(step.args, machine);
        EXPECT_EQ(run.code, step.code);
        EXPECT_EQ(run.output, step.output);
    }
}
